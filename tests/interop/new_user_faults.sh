#!/usr/bin/env bash
# The faults a new user met, each run through zolva-batch as the user ran it, and each shown
# mended. usage: new_user_faults.sh ZOLVA_BATCH WORK_DIR EXAMPLES_DIR
set -euo pipefail
batch="$(realpath "$1")"
work="$2"
examples="$(realpath "$3")"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$examples/Usermap microstrip (0.05mm).png" .
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
run() { "$batch" --no-startup --folder . "$@"; }
# The value of one figure of the n-th JSON solve object of a given kind.
figure() { # file kind n name
  python3 - "$@" <<'PY'
import json, sys
path, kind, n, name = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
solves = [o for o in map(json.loads, open(path)) if o["type"] == "solve" and o["kind"] == kind]
print(solves[n]["results"][name]["value"])
PY
}
same() { python3 -c "import sys; a,b=map(float,sys.argv[1:]); sys.exit(0 if abs(a-b)<=1e-9*abs(b) else 1)" "$1" "$2"; }

# 1. SOL after a change of frequency solves L and Rs at that frequency, as LRS does; so does the
#    first SOL after opening a map whose name carries its width.
printf 'OPE %%Usermap microstrip (0.05mm).png\nFRE 100\nLRS\nFRE 1000\nSOL\nLRS\n' >f1.txt
run --json f1.txt >f1.json 2>/dev/null
same "$(figure f1.json 'L and Rs' 1 Rs)" "$(figure f1.json 'L and Rs' 2 Rs)" || fail "SOL at 1000 MHz differs from LRS"
printf 'OPE %%Usermap microstrip (0.05mm).png\nFRE 100\nSOL\nLRS\n' >f2.txt
run --json f2.txt >f2.json 2>/dev/null
same "$(figure f2.json 'L and Rs' 0 Rs)" "$(figure f2.json 'L and Rs' 1 Rs)" || fail "first SOL after OPE not at 100 MHz"

# 2. A frequency sweep of the coax: one pixel width, L falling steadily.
printf 'COA\nFRE 1\nSWE FRE 7 2\n' >f3.txt
run --json f3.txt >f3.json 2>f3.err
python3 - f3.json <<'PY' || fail "coax sweep not smooth"
import json, sys
s = [o for o in map(json.loads, open(sys.argv[1])) if o["type"] == "solve"]
L = [o["results"]["L"]["value"] for o in s]
w = {o["geometry"]["pixelWidth"] for o in s}
sys.exit(0 if len(w) == 1 and all(a > b for a, b in zip(L, L[1:])) else 1)
PY
grep -q "every frequency at one pixel width" f3.err || fail "sweep width not named"

# 3. Colours that are no material are named.
python3 - <<'PY'
import struct, zlib
w, h = 40, 20
rows = []
for y in range(h):
    row = b"\0"
    for x in range(w):
        c = (255, 255, 255)
        if y == 15: c = (0, 255, 0)
        if y == 8 and 10 <= x < 30: c = (255, 0, 0)
        if y == 9 and 10 <= x < 30: c = (200, 100, 100)  # a blend no material has
        row += bytes(c)
    rows.append(row)
def chunk(t, d): return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
open("Usermap blend (0.1mm).png", "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))
PY
run --load "Usermap blend (0.1mm).png" >f4.out 2>&1 || true
grep -q "20 pixels of 1 color are no material and will be vacuum" f4.out || fail "unknown colours not named"

# 4. The note on a correctly drawn microstrip suggests a wider ground, not -1 volt. The classic
#    relaxation, as the user solved it, leaves 3 % of the flux on the open boundary.
printf 'OPE %%Usermap microstrip (0.05mm).png\nBOX 5 T\nCGP\n' >f5.txt
run --json f5.txt >f5.json 2>/dev/null
grep -q "wider ground conductor" f5.json || fail "microstrip note"
grep -q "drawn +1 and -1 volt" f5.json && fail "microstrip told to draw -1 volt"

# 5. Words quietly misread: YES is refused, a space before the unit is accepted, and a refused
#    geometry names the field and its value.
printf 'BOX 30 YES\n' >f6.txt
run f6.txt >/dev/null 2>f6.err && fail "BOX 30 YES accepted"
grep -q '"YES" is no on/off word' f6.err || fail "YES not named"
printf 'COA\nCEN 1 mm\nINN 3.5 mm\nTOT 200\nCGP\n' >f7.txt
run f7.txt >/dev/null 2>f7.err || fail "CEN 1 mm refused"
printf 'COA\nCEN 5 mm\nINN 3.5mm\nSOL\n' >f8.txt
run f8.txt >/dev/null 2>f8.err && fail "invalid coax solved"
grep -q "centre conductor diameter 5 mm is not smaller than the shield's inner diameter 3.5 mm" f8.err || fail "dimension fault not named"

# 6 and 9. The page says what was solved; no traces, no 0 m width, shortest lengths, one error.
printf 'OPE %%Usermap microstrip (0.05mm).png\nFRE 100\nCGP\n' >f9.txt
run f9.txt >f9.out 2>f9.err
grep -q "100 MHz, pixel width 5e-05 m; every figure is per metre" f9.out || fail "no header"
grep -qx 'B1' f9.err && fail "trace texts without --verbose"
printf 'XYZ\n' >f10.txt
run f10.txt >/dev/null 2>f10.err || true
[ "$(grep -c 'unknown command' f10.err)" = 1 ] || fail "script error not printed once"

# 11. The example the manual names exists.
[ -f "$examples/coax-setup.txt" ] || fail "examples/coax-setup.txt missing"

[ "$failures" = 0 ] && echo "every fault mended"
exit "$failures"
