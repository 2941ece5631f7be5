# A desktop capture through the running program, `quillet --capture desktop --wait`, against
# maim -f bmp and scrot as whole processes, on one 1920 x 1080 display: with the panel hidden and
# shown, then the same under a compositing manager (xcompmgr, picom). For Quillet both the time
# to its return and the time to its file (the file's modification time) are given; the ratio is
# the other tool's time over Quillet's return.
latency_compare() {
  local w="$BENCH_WORK/latency" quillet pid
  quillet="$(dirname "$QUILLET_TOOL")/../main/quillet"
  mkdir -p "$w/home/.config" "$w/home/.runtime"
  chmod 700 "$w/home/.runtime"
  export XDG_CONFIG_HOME="$w/home/.config" XDG_RUNTIME_DIR="$w/home/.runtime"
  /usr/bin/convert -size 1920x1080 -seed 3 plasma:fractal -blur 0x2 "$w/background.png"
  /usr/bin/display -window root "$w/background.png" &
  local pids=($!)
  xclock -update 1 -geometry 300x300+100+100 & pids+=($!)
  xlogo -geometry 250x250+500+150 & pids+=($!)
  (cd "$w/home" && exec "$quillet") & pid=$!
  pids+=("$pid")
  sleep 3
  (cd "$w/home" && "$quillet" --capture desktop --wait >/dev/null)  # the preview comes out
  sleep 0.5

  # Takes the program's windows off the screen behind its back (the tray icon stays), as when
  # the user has hidden the panel.
  hide_ours() {
    local win geometry
    for win in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
      [ "${geometry%x*}" -le 64 ] && continue
      xdotool windowunmap "$win"
    done
    sleep 0.3
  }

  # quillet_runs N PANEL : N captures; prints the median time to return and to the file.
  quillet_runs() {
    local n=$1 panel=$2 start end file returns=() files=()
    for _ in $(seq 1 "$n"); do
      if [ "$panel" = hidden ]; then hide_ours; else sleep 0.3; fi
      start=$(date +%s.%N)
      file=$(cd "$w/home" && "$quillet" --capture desktop --wait)
      end=$(date +%s.%N)
      returns+=("$(echo "$end - $start" | bc -l)")
      files+=("$(echo "$(stat -c %.9Y "$file") - $start" | bc -l)")
      rm -f "$file"
    done
    echo "$(printf '%s\n' "${returns[@]}" | sort -g | sed -n "$(( (n + 1) / 2 ))p")" \
      "$(printf '%s\n' "${files[@]}" | sort -g | sed -n "$(( (n + 1) / 2 ))p")"
  }

  # one_setting LABEL : every measure once more, under whatever runs now.
  one_setting() {
    local label=$1 maim_s scrot_s hidden shown
    maim_s=$(median_of 9 maim -f bmp "$w/maim.bmp")
    scrot_s=$(median_of 9 scrot -o "$w/scrot.bmp")
    hidden=($(quillet_runs 9 hidden))
    shown=($(quillet_runs 9 shown))
    printf '%-28s maim -f bmp %6.3f s   scrot %6.3f s\n' "$label" "$maim_s" "$scrot_s"
    printf '%-28s panel hidden: return %6.3f s (%.2f x maim), file %6.3f s\n' "$label" \
      "${hidden[0]}" "$(echo "${hidden[0]} / $maim_s" | bc -l)" "${hidden[1]}"
    printf '%-28s panel shown:  return %6.3f s (%.2f x maim), file %6.3f s\n' "$label" \
      "${shown[0]}" "$(echo "${shown[0]} / $maim_s" | bc -l)" "${shown[1]}"
    compare "$label, panel hidden | maim" "${hidden[0]}" "$maim_s"
    compare "$label, panel hidden | scrot" "${hidden[0]}" "$scrot_s"
    compare "$label, panel shown | maim" "${shown[0]}" "$maim_s"
  }

  one_setting "no compositor"
  local manager
  for manager in xcompmgr "picom --backend xrender --config /dev/null"; do
    if ! command -v "${manager%% *}" >/dev/null; then
      echo "${manager%% *}: skipped, not installed"
      continue
    fi
    $manager >/dev/null 2>&1 &
    local cm=$!
    sleep 1
    one_setting "${manager%% *}"
    kill "$cm" 2>/dev/null
    wait "$cm" 2>/dev/null
    sleep 0.5
  done
  (cd "$w/home" && "$quillet" --quit)
  kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$w"
}
export -f median_of compare latency_compare
export QUILLET_TOOL BENCH_WORK
"$root/scripts/with-display" --size 1920x1080x24 bash -c latency_compare
