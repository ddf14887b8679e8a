#!/usr/bin/env bash
# scripts/parallel-sweep.sh with two local jobs gives the same rows as one script that makes the
# same solves one after another. Skipped (77) only when GNU parallel is not installed.
# usage: parallel_sweep_test.sh ZOLVA_BATCH WORK_DIR
set -euo pipefail
batch="$1"
work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
command -v parallel >/dev/null || { echo "skipped: GNU parallel is not installed"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
cd "$work"

setup='COA
BOX 30 T
INN 3.5mm
OUT 4mm
TOT 200'
printf '%s\nCEN @VALUE@\nNAM run\nCGP\nLRS\n' "$setup" >template.txt
"$here/../../scripts/parallel-sweep.sh" -j 2 --threads 1 --batch "$batch" --work runs -o merged.csv \
  template.txt 1mm 1.5mm 2mm

{
  printf '%s\nNAM seq\n' "$setup"
  for v in 1mm 1.5mm 2mm; do printf 'CEN %s\nCGP\nLRS\n' "$v"; done
} >sequential.txt
mkdir -p seq
"$batch" --no-startup --folder seq sequential.txt >/dev/null

trim() { tr -d '\r ' <"$1"; }
expected="$(paste -d, <(printf '1mm\n1.5mm\n2mm\n') <(trim "seq/seq Capacitances.txt") \
  <(trim "seq/seq Inductances.txt") <(trim "seq/seq Resistances.txt"))"
# value, C, L and Rs of the merged rows (the velocity factor of a series depends on its order).
actual="$(tail -n +2 merged.csv | awk -F, '{ print $1 "," $3 "," $6 "," $7 }')"
if [ "$expected" != "$actual" ]; then
  echo "parallel rows differ from the sequential ones:"
  echo "expected:"; echo "$expected"
  echo "merged:"; echo "$actual"
  exit 1
fi
echo "$(echo "$actual" | wc -l) rows as in the sequential script"
cd /
rm -rf "$work"
