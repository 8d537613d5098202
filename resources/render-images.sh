#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the program's images from the SVG sources beside this script.
#
# Writes Tav_icon.png (64 x 64), CC_connect.png, CC_disconect.png, CC_exit.png (128 x 128), all
# 8-bit RGBA PNG, not interlaced, and K732-118.ico, the emblem as the Windows executable icon.
# The rendered files are committed: a build never runs this script. It needs rsvg-convert
# (librsvg2-bin), convert (imagemagick) and python3, all Debian packages.
#
# Reproducibility: on Debian 12 (librsvg 2.54.7, ImageMagick 6.9.11-60, python3 3.11) rendering into
# an empty folder and comparing with `cmp` gives the committed PNGs and .ico byte for byte. Other
# versions of librsvg/cairo may anti-alias edges differently by a few levels per channel; the
# shapes, sizes and file formats stay the same.
#
# Usage: resources/render-images.sh [output-folder]   (default: the folder of this script)
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$src}
mkdir -p "$out"

for tool in rsvg-convert convert python3; do
    command -v "$tool" >/dev/null || { echo "render-images.sh: $tool is missing" >&2; exit 1; }
done

# Only IHDR, IDAT and IEND are written: no time stamps or text chunks, so that renders compare
# equal. PNG32 keeps colour type 6 even for images that would fit a smaller type.
png_options=(-strip -define png:exclude-chunks=all -define png:include-chunk=none -interlace none)

# render SVG SIZE DEFLATE-LEVEL
render() {
    rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio "$src/$1.svg" \
        | convert png:- "${png_options[@]}" -define png:compression-level="$3" \
            -define png:compression-filter=0 -define png:compression-strategy=0 "PNG32:$out/$1.png"
}

# The emblem is stored without deflate so that the resource compiler finds it worth compressing
# and keeps it zlib-compressed in the program; the action images are ordinary compressed PNGs
# that it keeps as they are.
render Tav_icon 64 0
render CC_connect 128 9
render CC_disconect 128 9
render CC_exit 128 9

# The Windows icon: one 64 x 64 image of 24 bits per pixel with a 1-bit transparency mask, the
# layout every Windows version reads. ImageMagick would write a 32-bit image with alpha instead.
convert "$out/Tav_icon.png" -depth 8 RGBA:- | python3 -c '
import struct, sys

size = 64
rgba = sys.stdin.buffer.read()
assert len(rgba) == size * size * 4, "the emblem is not 64 x 64"

pixels = bytearray()
mask = bytearray()
for y in reversed(range(size)):  # bitmaps are stored bottom row first
    bits = 0
    for x in range(size):
        r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
        opaque = a >= 128
        # Masked pixels are black so that the screen shows through unchanged.
        pixels += bytes((b, g, r)) if opaque else b"\0\0\0"
        bits = bits << 1 | (not opaque)
        if x % 8 == 7:
            mask.append(bits)
            bits = 0
image_size = 40 + len(pixels) + len(mask)
header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 24, 0, len(pixels) + len(mask), 0, 0, 0, 0)
directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, image_size, 6 + 16)
with open(sys.argv[1], "wb") as ico:
    ico.write(directory + header + pixels + mask)
' "$out/K732-118.ico"
