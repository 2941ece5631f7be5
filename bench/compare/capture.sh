# quillet-tool capture desktop against ImageMagick's import -window root, scrot and maim, on one
# 1920 x 1080 display showing a photo-like background and a few windows.
capture_compare() {
  local w="$BENCH_WORK/capture" ours theirs tool
  mkdir -p "$w"
  /usr/bin/convert -size 1920x1080 -seed 3 plasma:fractal -blur 0x2 -attenuate 0.3 +noise Gaussian \
    "$w/background.png"
  /usr/bin/display -window root "$w/background.png" &
  local pids=($!)
  xclock -geometry 300x300+100+100 & pids+=($!)
  xlogo -geometry 250x250+500+150 & pids+=($!)
  xcalc -geometry +1300+300 & pids+=($!)
  sleep 2
  ours=$(best_of 5 "$QUILLET_TOOL" capture desktop "$w/ours.bmp")
  theirs=$(best_of 5 /usr/bin/import -window root "$w/theirs.bmp")
  compare "capture desktop (.bmp) | import" "$ours" "$theirs" "$w/ours.bmp" "$w/theirs.bmp"
  ours=$(best_of 5 "$QUILLET_TOOL" capture desktop "$w/ours.png")
  theirs=$(best_of 5 /usr/bin/import -window root "$w/theirs.png")
  compare "capture desktop (.png) | import" "$ours" "$theirs" "$w/ours.png" "$w/theirs.png"
  for tool in scrot maim; do
    if ! command -v "$tool" >/dev/null; then
      echo "capture desktop (.png) | $tool: skipped, $tool is not installed"
      continue
    fi
    if [ "$tool" = scrot ]; then
      theirs=$(best_of 5 scrot -o "$w/$tool.png")
    else
      theirs=$(best_of 5 maim "$w/$tool.png")
    fi
    compare "capture desktop (.png) | $tool" "$ours" "$theirs" "$w/ours.png" "$w/$tool.png"
  done
  kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$w"
}
export -f best_of compare capture_compare
export QUILLET_TOOL BENCH_WORK
"$root/scripts/with-display" --size 1920x1080x24 bash -c capture_compare
