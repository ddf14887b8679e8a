#!/usr/bin/env bash
# Regenerates the image fixtures in tests/fixtures/ that the image codec tests decode.
#
# The fixtures are committed, so building and testing never needs these tools; only whoever
# regenerates them does:
#   apt-get install imagemagick netpbm
#   scripts/make-fixtures.sh            # writes into tests/fixtures/
#   scripts/make-fixtures.sh OUTDIR     # or somewhere else, to compare
#
# Every colour picture is the same 7 x 5 image (odd width, so that BMP rows need padding) made of
# the eight colours whose components are 0 or 255: they survive 5- and 6-bit channels, 16-bit
# samples and palettes unchanged, so every decode can be compared to one pixel list. Two other
# pictures cover what that one cannot: a two-colour pattern for 1-bit files, and a grey ramp with
# one alpha value per row for the alpha-flattening path. tests/platform/image_codec_test.cpp
# holds the same three pictures as expected pixel lists; change both together.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../tests/fixtures}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

# Some machines put a stand-in named "convert" first on PATH; insist on ImageMagick itself.
im=""
for candidate in "${CONVERT:-}" magick convert /usr/bin/convert; do
  if [ -n "$candidate" ] && "$candidate" -version 2>/dev/null | grep -q ImageMagick; then
    im="$candidate"
    break
  fi
done
if [ -z "$im" ]; then
  echo "make-fixtures: ImageMagick not found (apt-get install imagemagick)" >&2
  exit 1
fi
for tool in ppmtobmp pnmtopng; do
  command -v "$tool" >/dev/null || { echo "make-fixtures: $tool not found (apt-get install netpbm)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# ImageMagick's -strip keeps time stamps out of the files, so that regenerating changes nothing.

# The colour picture, top row first.
cat > pic.ppm <<'EOF'
P3
7 5
255
255 255 255  255 255 255  255 0 0  255 0 0  0 255 0  0 0 255  0 0 0
255 255 255  255 255 0  255 255 0  0 255 255  0 255 255  255 0 255  0 0 0
255 0 0  0 255 0  0 0 255  0 0 0  255 255 255  255 255 0  0 255 255
255 0 255  255 0 255  255 0 255  0 0 0  0 0 0  255 255 255  255 255 255
0 0 0  255 0 0  0 255 0  0 0 255  255 255 0  0 255 255  255 0 255
EOF

# The two-colour pattern, 11 x 3 so that a 1-bit row spans two bytes; 1 is black in PBM.
cat > bw.pbm <<'EOF'
P1
11 3
1 0 0 1 1 0 1 0 1 1 1
0 1 1 0 0 1 0 1 0 0 0
1 1 1 1 1 1 0 0 0 0 1
EOF

# Grey 10 + 36 x with alpha 255, 192, 128, 64, 0 down the rows, as a binary PAM.
{
  printf 'P7\nWIDTH 7\nHEIGHT 5\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n'
  for a in 255 192 128 64 0; do
    for x in 0 1 2 3 4 5 6; do
      printf "\\$(printf %03o $((10 + 36 * x)))\\$(printf %03o "$a")"
    done
  done
} > ga.pam

# BMP from netpbm: palettes of 8 and 4 bits, 1 bit, 24 bits, and the OS/2 core header.
ppmtobmp -bpp=8 pic.ppm > "$out/pal8.bmp" 2>/dev/null
ppmtobmp -bpp=4 pic.ppm > "$out/pal4.bmp" 2>/dev/null
ppmtobmp -bpp=24 pic.ppm > "$out/rgb24.bmp" 2>/dev/null
ppmtobmp -os2 -bpp=8 pic.ppm > "$out/os2-pal8.bmp" 2>/dev/null
ppmtobmp -bpp=1 bw.pbm > "$out/bw1.bmp" 2>/dev/null

# BMP from ImageMagick: RLE8 (BMP3, palette), 16-bit bit fields 5-5-5 and 5-6-5 and 32-bit bit
# fields with an alpha mask (all three with a V5 header).
"$im" pic.ppm -strip -type Palette -compress RLE BMP3:"$out/rle8.bmp"
"$im" pic.ppm -strip -define bmp:subtype=RGB555 BMP:"$out/bf555.bmp"
"$im" pic.ppm -strip -define bmp:subtype=RGB565 BMP:"$out/bf565.bmp"
"$im" pic.ppm -strip -alpha on BMP:"$out/bf32.bmp"

# PNG: 16 bits per sample, interlaced RGB, 8-bit palette, interlaced 4-bit palette, 1-bit grey
# and grey with alpha.
"$im" pic.ppm -strip -depth 16 PNG48:"$out/rgb16.png"
"$im" pic.ppm -strip -interlace PNG PNG24:"$out/interlaced.png"
"$im" pic.ppm -strip PNG8:"$out/pal8.png"
pnmtopng -interlace pic.ppm > "$out/pal4-interlaced.png" 2>/dev/null
pnmtopng bw.pbm > "$out/bw1.png" 2>/dev/null
"$im" ga.pam -strip -define png:color-type=4 PNG:"$out/grey-alpha.png"

# TIFF: LZW RGB, and grey and RGB with unassociated alpha (libtiff premultiplies the second
# but not the first, so both are needed).
"$im" pic.ppm -strip -compress LZW "$out/lzw.tif"
"$im" ga.pam -strip -compress LZW -define tiff:alpha=unassociated "$out/grey-alpha.tif"
"$im" ga.pam -strip -type TrueColorAlpha -compress LZW -define tiff:alpha=unassociated "$out/rgb-alpha.tif"

# JPEG: baseline and progressive at full quality without chroma subsampling (so that the
# eight colours come back within a few steps), greyscale, and Adobe CMYK (inverted inks).
"$im" pic.ppm -strip -quality 100 -sampling-factor 1x1 "$out/rgb.jpg"
"$im" pic.ppm -strip -quality 100 -sampling-factor 1x1 -interlace JPEG "$out/progressive.jpg"
"$im" pic.ppm -strip -quality 100 -colorspace Gray "$out/grey.jpg"
"$im" pic.ppm -strip -quality 100 -sampling-factor 1x1 -colorspace CMYK "$out/cmyk.jpg"

# A small drawing as a JPEG at an ordinary quality: a ground frame two pixels wide round a
# vacuum field with a 4 x 4 block of +1 volt copper in the middle, in the built-in colours.
"$im" -size 16x12 xc:'#00FF00' -fill white -draw 'rectangle 2,2 13,9' -fill '#FF0000' \
  -draw 'rectangle 6,4 9,7' -strip -quality 90 "$out/drawing.jpg"

ls -l "$out"
