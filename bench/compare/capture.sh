# quillet-tool capture desktop against ImageMagick's import -window root, on one 1920x1080 display.
capture_compare() {
  local ours theirs
  ours=$(best_of 5 "$QUILLET_TOOL" capture desktop "$BENCH_WORK/ours.bmp")
  theirs=$(best_of 5 import -window root "$BENCH_WORK/theirs.bmp")
  compare "capture desktop (.bmp)" "$ours" "$theirs"
  ours=$(best_of 5 "$QUILLET_TOOL" capture desktop "$BENCH_WORK/ours.png")
  theirs=$(best_of 5 import -window root "$BENCH_WORK/theirs.png")
  compare "capture desktop (.png)" "$ours" "$theirs"
}
export -f best_of compare capture_compare
export QUILLET_TOOL BENCH_WORK
"$root/scripts/with-display" --size 1920x1080x24 bash -c capture_compare
