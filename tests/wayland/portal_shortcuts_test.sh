#!/usr/bin/env bash
# Desktop-wide keys through the desktop portal's GlobalShortcuts, against a portal of the test's
# own (fake_portal) on a session bus of its own: the desktop's real portal owns the portal's name
# on the desktop's bus and offers no GlobalShortcuts there.
# - offered: Quillet binds "desktop" on Print and "rectangle" on Shift+Print; the portal's
#   Activated for each starts that capture;
# - not offered: nothing is asked beyond the version, and Quillet captures as usual;
# - a portal that never answers: Quillet stops waiting, closes the request and goes on.
# Usage: scripts/with-wayland portal_shortcuts_test.sh QUILLET FAKE_PORTAL VIRTUAL_POINTER
set -uo pipefail
quillet=$1 fake=$2 pointer=$3
home=$(mktemp -d)
export XDG_CONFIG_HOME=$home/.config QUILLET_MESSAGE_LOG=$home/.messages
pids=()
work=
cleanup() {
  [ -n "$work" ] && (cd "$work" && timeout 20 "$quillet" --quit >/dev/null 2>&1)
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$home"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/quillet.log" "$home"/*.log >&2 2>/dev/null
  exit 1
}
waitfor() {  # CONDITION SECONDS
  for _ in $(seq 1 $(($2 * 10))); do eval "$1" && return 0; sleep 0.1; done
  return 1
}
captures() { find "$work" -name 'IT-*.bmp' | wc -l; }

cat >"$home/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$home/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$home/bus.conf" --nofork >"$home/dbus.log" 2>&1 &
pids+=($!)
bus=unix:path=$home/bus
waitfor "[ -S $home/bus ]" 10 || fail "the test's bus did not start"
call() { DBUS_SESSION_BUS_ADDRESS=$bus timeout 10 gdbus call --session "$@"; }

start() {  # NAME [fake_portal's options]: the portal, then Quillet in a folder of its own
  local name=$1
  shift
  DBUS_SESSION_BUS_ADDRESS=$bus "$fake" "$home/$name.log" "$@" 2>"$home/$name-fake.log" &
  pids+=($!)
  waitfor owned 10 || fail "the fake portal did not start"
  work=$home/$name
  mkdir -p "$work"
  (cd "$work" && DBUS_SESSION_BUS_ADDRESS=$bus exec "$quillet" >"$work/quillet.log" 2>&1) &
  program=$!
}
owned() {
  call --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.freedesktop.portal.Desktop 2>/dev/null |
    grep -q true
}

# Offered: both shortcuts bound with Print's keys, and each starts its capture.
start offered
waitfor "[ \$(grep -c '^SHORTCUT' '$home/offered.log' 2>/dev/null) = 2 ]" 30 ||
  fail "Quillet bound no shortcuts"
grep -qx 'SHORTCUT desktop|Capture Desktop|Print' "$home/offered.log" ||
  fail "no desktop shortcut on Print"
grep -qx 'SHORTCUT rectangle|Capture Rectangle|SHIFT+Print' "$home/offered.log" ||
  fail "no rectangle shortcut on Shift+Print"
sleep 2  # the portal's answer to the binding reaches Quillet
[ "$(captures)" = 0 ] || fail "a capture exists before a shortcut was pressed"
activate() {
  call --dest org.freedesktop.portal.Desktop --object-path /org/freedesktop/portal/desktop \
    --method org.quillet.test.FakePortal.Activate "$1" >/dev/null || fail "Activate($1) failed"
}
activate desktop
waitfor "[ \$(captures) = 1 ]" 30 || fail "the desktop shortcut made no capture"

# The rectangle: its overlay comes up on the output, and a drag takes the band.
activate rectangle
overlay() { swaymsg -t get_tree | tr -d '\n' | grep -q '"fullscreen_mode": 1,[^{}]*"app_id": "quillet"'; }
waitfor overlay 30 || fail "the rectangle shortcut brought up no overlay"
sleep 0.5
printf 'extent 1280 1024\nmove 200 200\nsleep 150\ndown 1\nsleep 100\nmove 300 260\n'`
      `'sleep 100\nmove 400 300\nsleep 150\nup 1\nsleep 100\n' | "$pointer" ||
  fail "the virtual pointer failed"
waitfor "[ \$(captures) = 2 ]" 30 || fail "the rectangle shortcut made no capture"
[ -z "$(cat "$home/.messages" 2>/dev/null)" ] || fail "messages: $(cat "$home/.messages")"
stop() {  # Quillet, then the portal
  (cd "$work" && timeout 20 "$quillet" --quit >/dev/null 2>&1)
  waitfor "! kill -0 $program 2>/dev/null" 20 || fail "Quillet did not end"
  kill "${pids[-1]}" 2>/dev/null
  waitfor "! owned" 10 || fail "the fake portal did not end"
}
stop

# Not offered: only the version is asked, and captures work as always.
start without --without-shortcuts
path=$(cd "$work" && timeout 60 "$quillet" --capture desktop --wait) ||
  fail "no capture without the portal's shortcuts"
[ -f "$path" ] || fail "the capture's path $path names no file"
grep -q 'CALL org.freedesktop.DBus.Properties.Get' "$home/without.log" ||
  fail "Quillet never asked the portal"
! grep -q "GlobalShortcuts" "$home/without.log" || fail "Quillet called GlobalShortcuts: $(cat "$home/without.log")"
! grep -q "desktop-wide keys" "$work/quillet.log" || fail "Quillet spoke of keys: $(cat "$work/quillet.log")"
stop

# Never answered: the request is closed when its time is up, and Quillet goes on.
start silent --never-answer
waitfor "grep -q 'Request.Close' '$home/silent.log'" 30 || fail "Quillet never gave up waiting"
grep -q "did not answer in time" "$work/quillet.log" || fail "no word of the portal's silence"
path=$(cd "$work" && timeout 60 "$quillet" --capture desktop --wait) && [ -f "$path" ] ||
  fail "no capture after the portal's silence"
echo "PASS: shortcuts bound and run through the portal; nothing asked where it offers none;"\
  "a silent portal given up"
