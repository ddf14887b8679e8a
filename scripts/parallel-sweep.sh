#!/usr/bin/env bash
# Runs one zolva script template over a list of parameter values, one zolva-batch per value, with
# GNU parallel over the local cores or over several hosts, and merges the rows into one CSV.
#
# The template is a script in which @VALUE@ stands for the value of each run, for example
#     COA
#     BOX 30 T
#     TOT 400
#     CEN @VALUE@
#     NAM run
#     CGP
# Every run gets its own folder WORK/run-N (its script, its tables, its output and its exit
# status), so the runs share nothing and any number can run at once.
#
#   parallel-sweep.sh [-j N] [--sshlogin LOGINS] [-o OUT.csv] [--work DIR] [--batch PROGRAM]
#                     [--threads T] TEMPLATE VALUE...
#       Runs every value, N at a time on this machine (default: one per core), or on the hosts
#       of LOGINS as GNU parallel reads them ("4/node1,4/node2", ":" for this machine too). On
#       other hosts the work folder, the template and zolva-batch must lie under the same paths
#       (a shared file system), as they do on most clusters. --threads T gives each run T
#       threads (zolva-batch --threads) instead of one per core of its host.
#   parallel-sweep.sh --task I [--work DIR] [--batch PROGRAM] TEMPLATE VALUE...
#       Runs the I-th value only (1-based): one task of a Slurm job array,
#           sbatch --array=1-3 --wrap 'scripts/parallel-sweep.sh --task $SLURM_ARRAY_TASK_ID \
#               --work sweep template.txt 0.5mm 1mm 1.5mm'
#       and, when all tasks have ended (sbatch --dependency=afterany:JOBID),
#   parallel-sweep.sh --merge [-o OUT.csv] [--work DIR] TEMPLATE VALUE...
#       merges the runs that have finished.
#
# The merged table has one row per table row of each run, in the order of the values. When a run
# wrote an RLGC table (RLG), its rows follow the value: "value,frequency (Hz),R (ohm/m),...".
# Otherwise the result tables of the run are joined row by row:
#     value,row,C (pF/m),Gp (S/m),vf,L (uH/m),Rs (ohm/m)
# with empty cells where a table has no such row. The exit status is 0 only when every run
# succeeded; the rows of the runs that did are merged all the same, and the folders stay.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
self="$here/$(basename "${BASH_SOURCE[0]}")"

die() {
  echo "parallel-sweep: $*" >&2
  exit 2
}

jobs=""
sshlogin=""
out="sweep.csv"
work="sweep"
batch=""
mode="all"
task=""
threads=""
while [ $# -gt 0 ]; do
  case "$1" in
    -j) [ $# -ge 2 ] || die "-j needs a number"; jobs="$2"; shift 2 ;;
    --sshlogin) [ $# -ge 2 ] || die "--sshlogin needs the hosts"; sshlogin="$2"; shift 2 ;;
    -o) [ $# -ge 2 ] || die "-o needs a file name"; out="$2"; shift 2 ;;
    --work) [ $# -ge 2 ] || die "--work needs a folder"; work="$2"; shift 2 ;;
    --batch) [ $# -ge 2 ] || die "--batch needs the program"; batch="$2"; shift 2 ;;
    --task) [ $# -ge 2 ] || die "--task needs a number"; mode="task"; task="$2"; shift 2 ;;
    --merge) mode="merge"; shift ;;
    --threads) [ $# -ge 2 ] || die "--threads needs a number"; threads="$2"; shift 2 ;;
    -h | --help) sed -n '2,/^set -euo/p' "$self" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    --) shift; break ;;
    -*) die "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || die "needs a template and at least one value (see --help)"
template="$1"
shift
values=("$@")
[ -f "$template" ] || die "cannot read the template \"$template\""
grep -q '@VALUE@' "$template" || die "the template \"$template\" holds no @VALUE@"
for v in "${values[@]}"; do
  case "$v" in
    "" | *[\|@\&\\$'\n'$'\r']*) die "a value must be a non-empty word without |, @, &, \\ or line breaks; got \"$v\"" ;;
  esac
done
if [ -z "$batch" ]; then
  if [ -x "$here/../build/app/zolva-batch" ]; then
    batch="$here/../build/app/zolva-batch"
  else
    batch="$(command -v zolva-batch || true)"
  fi
fi

# Absolute paths: a run on another host, or under Slurm, starts in another folder.
mkdir -p "$work"
work="$(cd "$work" && pwd)"
template="$(cd "$(dirname "$template")" && pwd)/$(basename "$template")"

# One run: the template with the value put in, zolva-batch in the run's own folder.
run_one() {
  local index="$1" value="$2"
  local dir="$work/run-$index"
  rm -rf "$dir"
  mkdir -p "$dir"
  printf '%s\n' "$value" >"$dir/value"
  sed "s|@VALUE@|$value|g" "$template" >"$dir/script.txt"
  local status=0
  local extra=()
  if [ -n "$threads" ]; then extra=(--threads "$threads"); fi
  "$batch" --no-startup "${extra[@]}" --folder "$dir" "$dir/script.txt" >"$dir/output.txt" 2>&1 ||
    status=$?
  echo "$status" >"$dir/status"
  return "$status"
}

# The rows of one finished run, each preceded by its value.
rows_of_run() {
  local dir="$1" value="$2"
  local csv
  csv="$(find "$dir" -maxdepth 1 -name '*.csv' | sort | head -n 1)"
  if [ -n "$csv" ]; then
    tail -n +2 "$csv" | tr -d '\r' | sed "s|^|$value,|"
    return
  fi
  local quantities=(Capacitances Conductances VFactors Inductances Resistances)
  local columns=()
  local q file
  for q in "${quantities[@]}"; do
    file="$(find "$dir" -maxdepth 1 -name "* $q.txt" | sort | head -n 1)"
    if [ -n "$file" ]; then columns+=("$file"); else columns+=(/dev/null); fi
  done
  # Row by row, blanks trimmed; a shorter table leaves its cells empty.
  paste -d, "${columns[@]}" | tr -d '\r ' | awk -v value="$value" -F, '
    { line = value "," NR; for (i = 1; i <= 5; i++) line = line "," $i; print line }'
}

merge() {
  local header="" first_csv="" i status
  for ((i = 1; i <= ${#values[@]}; i++)); do
    first_csv="$(find "$work/run-$i" -maxdepth 1 -name '*.csv' 2>/dev/null | sort | head -n 1)"
    if [ -n "$first_csv" ]; then break; fi
  done
  if [ -n "$first_csv" ]; then
    header="value,$(head -n 1 "$first_csv" | tr -d '\r')"
  else
    header="value,row,C (pF/m),Gp (S/m),vf,L (uH/m),Rs (ohm/m)"
  fi
  local failed=0
  # Written beside the target and renamed over it, so that a failed merge leaves no half table.
  local part="$out.part.$$"
  {
    echo "$header"
    for ((i = 1; i <= ${#values[@]}; i++)); do
      status="$(cat "$work/run-$i/status" 2>/dev/null || echo missing)"
      if [ "$status" != 0 ]; then
        echo "parallel-sweep: the run of \"${values[$((i - 1))]}\" (folder $work/run-$i) did not succeed ($status)" >&2
        failed=1
        continue
      fi
      rows_of_run "$work/run-$i" "${values[$((i - 1))]}"
    done
  } >"$part"
  mv -f "$part" "$out"
  echo "parallel-sweep: ${#values[@]} runs merged into $out" >&2
  return "$failed"
}

case "$mode" in
  task)
    if ! [[ "$task" =~ ^[0-9]+$ ]] || [ "$task" -lt 1 ] || [ "$task" -gt ${#values[@]} ]; then
      die "--task needs a number from 1 to ${#values[@]}; got \"$task\""
    fi
    [ -x "$batch" ] || die "cannot find zolva-batch (give it with --batch)"
    run_one "$task" "${values[$((task - 1))]}"
    ;;
  merge)
    merge
    ;;
  all)
    command -v parallel >/dev/null || die "GNU parallel is not installed (apt-get install parallel)"
    [ -x "$batch" ] || die "cannot find zolva-batch (give it with --batch)"
    batch="$(cd "$(dirname "$batch")" && pwd)/$(basename "$batch")"
    options=(--will-cite --halt never)
    if [ -n "$jobs" ]; then options+=(--jobs "$jobs"); fi
    if [ -n "$sshlogin" ]; then options+=(--sshlogin "$sshlogin"); fi
    task_options=()
    if [ -n "$threads" ]; then task_options=(--threads "$threads"); fi
    # Each job is this script's --task mode, so that a remote host needs nothing but the paths.
    parallel "${options[@]}" -q "$self" --task '{#}' "${task_options[@]}" --work "$work" \
      --batch "$batch" "$template" \
      "${values[@]}" ::: "${values[@]}" || true
    merge
    ;;
esac
