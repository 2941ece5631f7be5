# Image operations: each quillet-tool operation against ImageMagick's nearest equivalent on the
# same 6000 x 4000 24-bit BMP. Sourced by scripts/bench-compare (QUILLET_TOOL, BENCH_WORK,
# best_of, compare). Both read and write BMP files; ImageMagick may use all its memory, so that
# it never falls back to a disk cache.

ops_in="$BENCH_WORK/ops-6000x4000.bmp"
ops_out="$BENCH_WORK/ops-out.bmp"
ops_runs=${IMAGE_OPS_RUNS:-3}
magick=(convert -limit memory 4GiB -limit map 4GiB)

if [ ! -f "$ops_in" ]; then
  "${magick[@]}" -size 6000x4000 -seed 7 plasma:fractal -depth 8 -type TrueColor "BMP3:$ops_in"
fi

# ops_pair LABEL "QUILLET OPERATION AND ARGUMENTS" "IMAGEMAGICK OPTIONS"
ops_pair() {
  local label=$1 ours=$2 theirs=$3 a b
  # shellcheck disable=SC2086  # the operation's words are split on purpose
  set -- $ours
  local op=$1
  shift
  # A failed run is reported and the next comparison goes on.
  a=$(best_of "$ops_runs" "$QUILLET_TOOL" "$op" "$ops_in" "$ops_out" "$@") || return 0
  # shellcheck disable=SC2086
  b=$(best_of "$ops_runs" "${magick[@]}" "$ops_in" $theirs "BMP3:$ops_out") || return 0
  compare "$label" "$a" "$b"
}

ops_pair "convert (read + write only)" "convert" ""
ops_pair "grayscale | -colorspace Gray" "grayscale" "-colorspace Gray"
ops_pair "mirror | -flop" "mirror" "-flop"
ops_pair "rotate-left | -rotate -90" "rotate-left" "-rotate -90"
ops_pair "rotate-right | -rotate 90" "rotate-right" "-rotate 90"
ops_pair "resample 3000 2000 | -resize" "resample 3000 2000" "-resize 3000x2000!"
ops_pair "resample 1500 1000 | -resize" "resample 1500 1000" "-resize 1500x1000!"
ops_pair "resample 7000 4500 | -resize" "resample 7000 4500" "-resize 7000x4500!"
ops_pair "resample --fast | -sample" "resample 3000 2000 --fast" "-sample 3000x2000!"
ops_pair "crop 4000x3000 | -crop" "crop 1000 500 5000 3500" "-crop 4000x3000+1000+500 +repage"
ops_pair "light 20 100 | -brightness-contrast 8" "light 20 100" "-brightness-contrast 8x0"
ops_pair "decrease 8 optimal | +dither -colors" "decrease-bpp 8 --optimal" \
  "+dither -colors 256"
ops_pair "decrease 8 optimal diffuse | -colors" "decrease-bpp 8 --optimal --diffuse" \
  "-colors 256"
ops_pair "decrease 8 diffuse | -remap netscape:" "decrease-bpp 8 --diffuse" \
  "-remap netscape:"
