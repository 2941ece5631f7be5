#!/usr/bin/env bash
# With a StatusNotifierItem host (swaybar's tray on the headless sway desktop of
# scripts/with-wayland), the tray's menu is exported over D-Bus and its SCREEN item captures.
# Usage: scripts/with-wayland tests/panel/sni_tray_test.sh QUILLET_BINARY
set -uo pipefail
quillet=$1
home=$(mktemp -d)
export XDG_CONFIG_HOME=$home/.config QUILLET_MESSAGE_LOG=$home/.messages
bar=
cleanup() {
  (cd "$home" && timeout 20 "$quillet" --quit >/dev/null 2>&1)
  [ -n "$bar" ] && kill "$bar" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
waitfor() {  # CONDITION SECONDS
  for _ in $(seq 1 $(($2 * 10))); do eval "$1" && return 0; sleep 0.1; done
  return 1
}
call() { timeout 10 gdbus call --session "$@"; }

# A bar with a tray. The copy sway starts itself cannot reach the private session bus (it has
# sway's environment) and ends with sway; ours is the tray host.
swaymsg 'bar quillet-tray tray_output *' >/dev/null || fail "sway refused the bar"
swaybar -b quillet-tray >"$home/swaybar.log" 2>&1 &
bar=$!
waitfor "call --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
  IsStatusNotifierHostRegistered 2>/dev/null | grep -q true" 10 ||
  { cat "$home/swaybar.log" >&2; fail "swaybar registered no tray host"; }

(cd "$home" && "$quillet" >"$home/quillet.log" 2>&1 &)
items() {
  call --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems 2>/dev/null
}
waitfor "items | grep -q \"'\"" 20 || { cat "$home/quillet.log" >&2; fail "no item registered with the watcher"; }
item=$(items | grep -o "'[^']*'" | head -1 | tr -d "'")
service=${item%%/*}
path=/${item#*/}
[ "$path" = "/$item" ] && path=/StatusNotifierItem
menu=$(call --dest "$service" --object-path "$path" --method org.freedesktop.DBus.Properties.Get \
         org.kde.StatusNotifierItem Menu | grep -o "objectpath '[^']*'" | cut -d"'" -f2)
case "$menu" in ""|/|/NO_DBUSMENU) fail "the item exports no menu ($menu)" ;; esac

layout=$(call --dest "$service" --object-path "$menu" --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '[]')
screen=$(python3 -c 'import re,sys; m=re.search(r"\((\d+), \{[^{}]*'"'"'label'"'"': <'"'"'[^'"'"']*SCREEN", sys.stdin.read()); print(m.group(1) if m else "")' <<<"$layout")
[ -n "$screen" ] || fail "no SCREEN item in the exported menu: $layout"
for label in START EXIT ABOUT PROPERTIES CAPTURE RECTANGLE; do
  grep -q "$label" <<<"$layout" || fail "no $label in the exported menu"
done

[ -z "$(find "$home" -name 'IT-*.bmp')" ] || fail "a capture exists before the menu ran"
call --dest "$service" --object-path "$menu" --method com.canonical.dbusmenu.Event \
  "$screen" clicked '<int32 0>' 0 >/dev/null || fail "the menu's Event call failed"
waitfor "[ -n \"\$(find '$home' -name 'IT-*.bmp')\" ]" 30 ||
  { cat "$home/quillet.log" "$home/.messages" >&2 2>/dev/null; fail "SCREEN from the tray's menu made no capture"; }
echo "PASS: the exported menu's SCREEN captured $(find "$home" -name 'IT-*.bmp' | head -1)"
