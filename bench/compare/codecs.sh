# Image conversions: quillet-tool convert against ImageMagick's convert on the same 6000 x 4000
# 24-bit picture, and on small files where process start-up is most of the work (sourced by
# scripts/bench-compare; QUILLET_TOOL and BENCH_WORK are set there).

magick=/usr/bin/convert
[ -x "$magick" ] || magick=$(command -v convert)
w="$BENCH_WORK/codecs"
mkdir -p "$w"

# A photograph-like picture: smooth colour changes with grain.
"$magick" -size 6000x4000 gradient:'#204080'-'#f0c020' -attenuate 0.15 +noise Gaussian \
  -depth 8 -type TrueColor "BMP3:$w/picture.bmp"
for ext in png jpg tif; do
  "$QUILLET_TOOL" convert "$w/picture.bmp" "$w/picture.$ext" --quality 75
done

runs=${CODECS_RUNS:-3}
for pair in bmp:png bmp:jpg bmp:tif png:bmp jpg:bmp tif:bmp png:jpg; do
  from=${pair%%:*}
  to=${pair##*:}
  ours=$(best_of $runs "$QUILLET_TOOL" convert "$w/picture.$from" "$w/ours.$to" --quality 75)
  theirs=$(best_of $runs "$magick" "$w/picture.$from" -quality 75 "$w/theirs.$to")
  compare "convert $from -> $to" "$ours" "$theirs" "$w/ours.$to" "$w/theirs.$to"
done

# Small files: the median of 20 whole-process runs each.
for size in 16 255; do
  "$magick" -size ${size}x${size} plasma:fractal -seed 5 -depth 8 -type TrueColor \
    "BMP3:$w/small$size.bmp"
  ours=$(median_of 20 "$QUILLET_TOOL" convert "$w/small$size.bmp" "$w/small-ours.png")
  theirs=$(median_of 20 "$magick" "$w/small$size.bmp" "$w/small-theirs.png")
  compare "convert bmp -> png ($size x $size)" "$ours" "$theirs" "$w/small-ours.png" \
    "$w/small-theirs.png"
done
rm -rf "$w"
