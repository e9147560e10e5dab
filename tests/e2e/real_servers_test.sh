#!/usr/bin/env bash
# The whole job against real telnet servers and a real X server.
#
# A throw-away remote host: a network namespace behind a veth pair, with
# busybox telnetd and inetutils telnetd (under socat) listening on port 23,
# both logging in through /bin/login, and a throw-away local user whose home
# is inside this test's temporary folder. A private Xvfb listens on TCP with
# an MIT cookie the remote user holds. The built program runs on that display
# and is typed into with xdotool, like a person would.
#
#   real_servers_test.sh DOVREL WRONG_ADDRESS_SHIM
#
# Needs root and network namespaces. Exit 77 (skipped) without them, except
# in CI, where it must run. Everything it creates is removed again, also when
# it fails. Prints one line per check and a closing count.

set -uo pipefail

# With DOVREL_E2E_REPORT set, everything printed also goes to that file, so
# that scripts/test can show the figures of a passing run.
if [ -n "${DOVREL_E2E_REPORT:-}" ]; then
  exec > >(tee "$DOVREL_E2E_REPORT") 2>&1
fi

DOVREL=$1
SHIM=$2
SERVERS=${DOVREL_E2E_SERVERS:-$(cd "$(dirname "$0")/../.." && pwd)/build/e2e-servers}
SKIPPED=77
TYPE_AHEAD_RUNS=${DOVREL_E2E_TYPE_AHEAD_RUNS:-30}
# DOVREL_E2E_TIMING=0: leave out the runs that only wait out a limit (a host
# that stalls until it is given up on, a login slower than the read limit);
# the sanitizer builds set it, the plain build checks those bounds.
TIMING=${DOVREL_E2E_TIMING:-1}
# The remote user's login shells the launch is tried with (the sanitizer
# build tries one: the shells try the host, not the program's memory).
read -r -a SHELLS <<<"${DOVREL_E2E_SHELLS:-bash dash zsh tcsh}"

skip_or_fail() {
  if [ -n "${CI:-}" ]; then
    echo "FAIL: cannot run in CI: $1"
    exit 1
  fi
  echo "SKIP: $1"
  exit $SKIPPED
}

[ "$(id -u)" -eq 0 ] || skip_or_fail "needs root (network namespace, port 23, a local user)"
for tool in ip iptables python3 socat ss twm xmodmap xterm Xvfb xauth xdotool xwininfo useradd chpasswd mcookie; do
  command -v "$tool" >/dev/null || skip_or_fail "needs $tool (scripts/test installs it)"
done
[ -x "$SERVERS/bin/busybox" ] && [ -x "$SERVERS/usr/sbin/telnetd" ] || skip_or_fail "telnet servers not unpacked in $SERVERS (scripts/test does it)"

# ---------------------------------------------------------------- set-up ---

source "$(dirname "$0")/../../scripts/remote_host.sh"
remote_host_init dovrel-e2e "$SERVERS"
XVFB_PID=
NO_TCP_PID=
RELAY_XVFB_PID=
WM_PID=

cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  [ -n "$NO_TCP_PID" ] && kill "$NO_TCP_PID" 2>/dev/null
  [ -n "$RELAY_XVFB_PID" ] && kill "$RELAY_XVFB_PID" 2>/dev/null
  [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
  remote_host_cleanup
}
trap cleanup EXIT
trap 'exit 1' INT TERM


remote_host_create || skip_or_fail "cannot create a network namespace and a user"
start_private_xvfb "$RH_WORK" || { echo "FAIL: no X server"; exit 1; }
PASSWORD=Tr0ub4dor-e2e
remote_host_set_password "$PASSWORD"
remote_host_grant_display "$COOKIE" "$DISPLAY_NUM"
remote_host_start busybox || exit 1
remote_host_start inetutils || exit 1
remote_host_start busybox-K busybox-K || exit 1
# Two more servers whose login program takes 7 s to refuse a password, longer
# than the read limit: only processes started while the host's own pam.d is
# in place see it.
slow_pam=$(remote_host_etc pam.d)
cp -r /etc/pam.d/. "$slow_pam/"
sed -i 's/pam_faildelay.so.*/pam_faildelay.so delay=7000000/' "$slow_pam/login"
remote_host_start busybox-slow busybox || exit 1
remote_host_start inetutils-slow inetutils || exit 1
remote_host_etc_retire pam.d
# inetutils telnetd behind a link with a 200 ms round trip, X11 traffic too.
remote_host_delay slow-link inetutils 200 "$DISPLAY_NUM" || exit 1

# ---------------------------------------------------------------- checks ---

source "$(dirname "$0")/launch_lib.sh"

# One failing launch and its checks: status 1, within 12 s of Enter, and the
# reason on standard error.
#   expect_failure LABEL ADDRESS PASSWORD SCREEN SWITCH REASON
expect_failure() {
  failing_dialogue "$2" "$3" "$4" "$5"
  check $([ "$STATUS" -eq 1 ] && [ "$ENTER_TO_END" -le 12000 ]; echo $?) \
    "$1: ends with status 1 within 12 s of Enter (status $STATUS, $ENTER_TO_END ms)"
  check $([ -n "$BOX" ]; echo $?) "$1: a box says why"
  check $(grep -v ': [0-9.]* s: ' "$RH_WORK/dovrel.log" | grep -qF -- "$6"; echo $?) "$1: standard error says \"$6\""
}

declare -A FIGURES=()
LEAKS=0

echo "# display :$DISPLAY_NUM, this machine $RH_LOCAL_ADDR, busybox ${RH_ADDR[busybox]}, inetutils ${RH_ADDR[inetutils]}"

for server in busybox inetutils; do
  for shell in "${SHELLS[@]}"; do
    remote_host_set_shell "$shell"
    label="$server/$shell"
    dialogue "${RH_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
    check $([ -n "$WINDOW" ]; echo $?) "$label: an XTerm window appears (${ENTER_TO_WINDOW:-none} ms after Enter)"
    if [ -n "$WINDOW" ]; then
      geometry=$(xwininfo -id "$WINDOW" | sed -n 's/^ *-geometry //p')
      check $([ "$geometry" = "80x25+0+0" ]; echo $?) "$label: its geometry is 80x25+0+0 ($geometry)"
      check $(pgrep -u "$RH_USER" -x xterm >/dev/null; echo $?) "$label: it runs as the remote user"
    fi
    check $([ "$STATUS" -eq 0 ] && [ -n "$WINDOW" ] && [ $((ENTER_TO_EXIT - ENTER_TO_WINDOW)) -le 1000 ]; echo $?) \
      "$label: dovrel ends by itself with status 0 within 1 s of the window (status $STATUS, $ENTER_TO_EXIT ms)"
    if [ -n "$WINDOW" ]; then
      sleep 0.5
      check $([ -n "$(window_of_class XTerm)" ]; echo $?) "$label: the terminal is still there after dovrel ended"
      FIGURES[$server]="${FIGURES[$server]:-} $ENTER_TO_WINDOW"
    fi
    reset_remote
  done

  remote_host_set_shell bash
  dialogue "${RH_ADDR[$server]}" "$PASSWORD" KTerm "" LC_ALL=C.UTF-8
  arguments=$(cat "$RH_HOME/kterm-arguments" 2>/dev/null)
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "$server: without x a KTerm window appears (status $STATUS)"
  check $([ "$arguments" = "-geometry 80x25+0+0 -display $RH_LOCAL_ADDR:$DISPLAY_NUM" ]; echo $?) \
    "$server: kterm got the display asked for ($arguments)"
  reset_remote

  expect_failure "$server: a wrong password" "${RH_ADDR[$server]}" not-the-password "$DISPLAY_NUM" x \
    "Login incorrect"
  check $([ -z "$(window_of_class XTerm)" ]; echo $?) "$server: a wrong password gives no terminal"
  reset_remote
done

# No Screen argument: the terminal goes to the display the form is on, the
# one $DISPLAY names (never :0 here).
SCREEN_ARG= DOVREL_FLAGS=-v dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ "$DISPLAY_NUM" -ne 0 ] && [ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) \
  "no Screen argument, DISPLAY=:$DISPLAY_NUM: the terminal shows there (status $STATUS)"
check $(grep -qF "display :$DISPLAY_NUM from \$DISPLAY" "$RH_WORK/dovrel.log"; echo $?) "-v says the display came from \$DISPLAY"
reset_remote

# user@host: the user name comes with the host; only the password is typed.
DOVREL_FLAGS=-v dialogue "$RH_USER@${RH_ADDR[inetutils]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ] && grep -qF "typed: $RH_USER\\n" "$RH_WORK/dovrel.log"; echo $?) \
  "user@host, only the password typed: the host got that user name and the terminal shows (status $STATUS)"
reset_remote

# Under a window manager that puts the terminal in a frame of its own (twm,
# with the X server's built-in font, placing windows where they ask).
printf '%sFont "fixed"\n' Title Resize Menu Icon IconManager >"$RH_WORK/twmrc"
printf 'RandomPlacement\nUsePPosition "on"\n' >>"$RH_WORK/twmrc"
twm -display ":$DISPLAY_NUM" -f "$RH_WORK/twmrc" >"$RH_WORK/twm.log" 2>&1 &
WM_PID=$!
sleep 0.5
check $(kill -0 "$WM_PID" 2>/dev/null; echo $?) "the window manager runs"
for server in busybox inetutils; do
  dialogue "${RH_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
  check $([ "$STATUS" -eq 0 ] && [ -n "$WINDOW" ] && [ $((ENTER_TO_EXIT - ENTER_TO_WINDOW)) -le 1000 ]; echo $?) \
    "$server: under a window manager the terminal is seen (status $STATUS, window ${ENTER_TO_WINDOW:-none} ms, end $ENTER_TO_EXIT ms)"
  reset_remote
done
kill "$WM_PID" 2>/dev/null && wait "$WM_PID" 2>/dev/null
WM_PID=

# ------------------------------------------------- launches that fail ---

# kterm missing on the host, as on most hosts today; busybox -K also closes
# the line as soon as the shell exits.
mv "$RH_HOME/bin/kterm" "$RH_WORK/kterm.away"
for server in busybox inetutils busybox-K; do
  expect_failure "$server: kterm missing" "${RH_ADDR[$server]}" "$PASSWORD" "$DISPLAY_NUM" "" \
    "kterm was not found on ${RH_ADDR[$server]}"
  reset_remote
done
# The question's other answer: xterm on the same connection (Alt+S).
connections() { ip netns exec "$RH_NS" iptables -nvxL INPUT | awk '/dpt:23/ && /flags:/ { print $1; exit }'; }
if ip netns exec "$RH_NS" iptables -I INPUT -p tcp --dport 23 --syn 2>/dev/null; then
  before=$(connections)
  BOX_KEY=alt+s failing_dialogue "${RH_ADDR[inetutils]}" "$PASSWORD" "$DISPLAY_NUM" ""
  check $([ "$STATUS" -eq 0 ] && [ -n "$(window_of_class XTerm)" ] && [ $(($(connections) - before)) -eq 1 ]; echo $?) \
    "inetutils: kterm missing, Start xterm: an xterm window on one connection (status $STATUS, $(($(connections) - before)) connections)"
  ip netns exec "$RH_NS" iptables -D INPUT -p tcp --dport 23 --syn
  reset_remote
fi
mv "$RH_WORK/kterm.away" "$RH_HOME/bin/kterm"

# An X server that takes no TCP connections: with --no-relay, found before
# anything is typed; and a display with no X server at all.
NO_TCP_NUM=$(free_display_number down)
Xvfb ":$NO_TCP_NUM" -nolisten tcp -screen 0 640x480x24 >"$RH_WORK/xvfb-no-tcp.log" 2>&1 &
NO_TCP_PID=$!
for server in busybox inetutils; do
  DOVREL_FLAGS=--no-relay expect_failure "$server: a display without TCP, --no-relay" "${RH_ADDR[$server]}" \
    "$PASSWORD" "$NO_TCP_NUM" x "does not accept TCP connections"
  check $(! grep -q 'typed:' "$RH_WORK/dovrel.log"; echo $?) "$server: a display without TCP, --no-relay: nothing typed"
done
kill "$NO_TCP_PID" && wait "$NO_TCP_PID" 2>/dev/null
NO_TCP_PID=
sleep 0.2
expect_failure "busybox: no X server on the display" "${RH_ADDR[busybox]}" "$PASSWORD" "$NO_TCP_NUM" x \
  "There is no X server on display :$NO_TCP_NUM"

# ------------------------------------------- today's desktop: no TCP ---

# An X server as today's desktops start theirs: no TCP, a cookie file of this
# user's. The remote user has no cookie for it: the relay brings this user's.
start_relay_xvfb "$RH_WORK" || exit 1
relay_port=$((6000 + RELAY_NUM))
relay_listening() { ss -Hltn "src $RH_LOCAL_ADDR:$relay_port" | grep -q .; }
relay_process() { pgrep -x dovrel-relay; }
check $(! ss -Hltn "sport = :$relay_port" | grep -q .; echo $?) "relay display :$RELAY_NUM: the X server listens on no TCP port"

for server in busybox inetutils; do
  label="$server via the relay"
  use_relay_display "$server"
  dialogue "${RH_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) \
    "$label: a real xterm with no cookie of its own shows its window (status $STATUS, ${ENTER_TO_WINDOW:-none} ms)"
  check $([ -n "$WINDOW" ] && [ $((ENTER_TO_EXIT - ENTER_TO_WINDOW)) -le 1000 ]; echo $?) \
    "$label: dovrel ends within 1 s of the window ($ENTER_TO_EXIT ms)"
  check $(relay_listening && [ -n "$(relay_process)" ]; echo $?) "$label: the relay lives on with the terminal"
  check $(! ip netns exec "$RH_NS" env -u XAUTHORITY xdpyinfo -display "$RH_LOCAL_ADDR:$RELAY_NUM" >/dev/null 2>&1; echo $?) \
    "$label: a program from the host without the launch's cookie gets nothing"
  # This machine's own address is not the host's: nothing, even with the cookie.
  check $(! xdpyinfo -display "$RH_LOCAL_ADDR:$RELAY_NUM" >/dev/null 2>&1; echo $?) \
    "$label: a client from another address gets nothing"
  # The terminal ends; from then on the clock runs.
  terminal=$(pgrep -u "$RH_USER" -x xterm)
  # shellcheck disable=SC2086
  [ -n "$terminal" ] && kill $terminal
  while pgrep -u "$RH_USER" -x xterm >/dev/null; do sleep 0.01; done
  closed=$(now_ms)
  while { relay_listening || [ -n "$(relay_process)" ]; } && [ $(($(now_ms) - closed)) -lt 3000 ]; do sleep 0.02; done
  check $(! relay_listening && [ -z "$(relay_process)" ] && [ $(($(now_ms) - closed)) -le 1000 ]; echo $?) \
    "$label: the terminal gone, the port closes and the relay ends within 1 s ($(($(now_ms) - closed)) ms)"
  reset_remote
done

# Two launches to the same display from two hosts: the second joins the
# relay the first started, and both terminals show.
use_relay_display busybox
dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
use_relay_display inetutils
dialogue "${RH_ADDR[inetutils]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
terminals=$(xdotool search --onlyvisible --class '^XTerm$' 2>/dev/null | wc -l)
check $([ "$STATUS" -eq 0 ] && [ "$terminals" -eq 2 ]; echo $?) \
  "a second host on the same display joins the relay: both terminals show (status $STATUS, $terminals terminals)"
reset_remote
for _ in $(seq 50); do [ -z "$(relay_process)" ] && break; sleep 0.05; done
check $([ -z "$(relay_process)" ] && ! relay_listening; echo $?) "both terminals gone: the relay ends"

# The verbose report names the relay's start, its connections and its end.
use_relay_display busybox
DOVREL_FLAGS=-v dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
remote_host_kill_user_processes
for _ in $(seq 50); do [ -z "$(relay_process)" ] && break; sleep 0.05; done
for said in "serving $RH_LOCAL_ADDR:$relay_port for ${RH_ADDR[busybox]} alone" "relay: started" \
  "relay: accepted a connection from ${RH_ADDR[busybox]}" "relay: ended"; do
  check $(grep -qF -- "$said" "$RH_WORK/dovrel.log"; echo $?) "-v reports \"$said\""
done
reset_remote

# kterm missing and a firewall are reported through the relay too.
mv "$RH_HOME/bin/kterm" "$RH_WORK/kterm.away"
use_relay_display inetutils
expect_failure "inetutils via the relay: kterm missing" "${RH_ADDR[inetutils]}" "$PASSWORD" "$RELAY_NUM" "" \
  "kterm was not found on ${RH_ADDR[inetutils]}"
reset_remote
mv "$RH_WORK/kterm.away" "$RH_HOME/bin/kterm"
firewall=(OUTPUT -d "$RH_LOCAL_ADDR" -p tcp --dport "$relay_port" -j DROP)
ip netns exec "$RH_NS" iptables -A "${firewall[@]}"
use_relay_display busybox
expect_failure "busybox via the relay: X traffic dropped" "${RH_ADDR[busybox]}" "$PASSWORD" "$RELAY_NUM" x \
  "a firewall may drop connections to port $relay_port"
ip netns exec "$RH_NS" iptables -D "${firewall[@]}"
reset_remote
for _ in $(seq 50); do relay_listening || break; sleep 0.05; done
check $(! relay_listening; echo $?) "no window within the watch: the port is closed again"

# GNOME's way: no cookie file at all, the local user let in by SI:localuser.
xhost "+SI:localuser:$(id -un)" >/dev/null
use_relay_display inetutils "$RH_WORK/no-such-authority"
dialogue "${RH_ADDR[inetutils]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) \
  "inetutils via the relay, SI:localuser and no cookie file: the window appears (status $STATUS)"
reset_remote
use_main_display
kill "$RELAY_XVFB_PID" && wait "$RELAY_XVFB_PID" 2>/dev/null
RELAY_XVFB_PID=

# The remote user without a cookie for the display.
xauth -q -f "$RH_HOME/.Xauthority" remove "$RH_LOCAL_ADDR:$DISPLAY_NUM"
for server in busybox inetutils; do
  expect_failure "$server: no cookie" "${RH_ADDR[$server]}" "$PASSWORD" "$DISPLAY_NUM" x "refused the terminal"
  reset_remote
done
remote_host_grant_display "$COOKIE" "$DISPLAY_NUM"

# A firewall on the host that drops connections to the display's port
# (each run waits out the watch; the relayed one above runs in every build).
firewall=(OUTPUT -d "$RH_LOCAL_ADDR" -p tcp --dport $((6000 + DISPLAY_NUM)) -j DROP)
ip netns exec "$RH_NS" iptables -A "${firewall[@]}"
dropped_servers=()
[ "$TIMING" -eq 1 ] && dropped_servers=(busybox inetutils)
for server in "${dropped_servers[@]}"; do
  expect_failure "$server: X traffic dropped" "${RH_ADDR[$server]}" "$PASSWORD" "$DISPLAY_NUM" x \
    "a firewall may drop connections to port $((6000 + DISPLAY_NUM))"
  reset_remote
done
ip netns exec "$RH_NS" iptables -D "${firewall[@]}"

# A login slower than the read limit: the command goes out, then the host
# says Login incorrect.
slow_servers=()
[ "$TIMING" -eq 1 ] && slow_servers=(busybox-slow inetutils-slow)
for server in "${slow_servers[@]}"; do
  expect_failure "$server: a wrong password refused after the read limit" "${RH_ADDR[$server]}" \
    not-the-password "$DISPLAY_NUM" x "Login incorrect"
  reset_remote
done

# ------------------------------------------- a host that stops answering ---

# The host's packets dropped in the namespace at three moments. By itself the
# run must end within the stated bound after the stall (10 s to acknowledge
# plus the 5 s read limit), with status 1 and a line that names the step and
# the cause; Escape 1 s into the stall must end it within 1 s.
STALL_BOUND_MS=16000
# stall LABEL MOMENT END CAUSE: MOMENT is "connect" (the SYN-ACK dropped), or
# the text in the -v report after which the host's packets are dropped; END
# is "self" or "escape"; CAUSE what standard error must say (a pattern).
# After the command line, the terminal's own X connection is dropped from the
# start: it would otherwise reach the display in the moment before the stall.
stall() {
  local label=$1 moment=$2 end=$3 server=busybox
  local drop=(OUTPUT -s "${RH_ADDR[$server]}" -j DROP)
  local x_drop=(OUTPUT -d "$RH_LOCAL_ADDR" -p tcp --dport $((6000 + DISPLAY_NUM)) -j DROP)
  [ "$moment" = connect ] && ip netns exec "$RH_NS" iptables -I "${drop[@]}"
  [ "$moment" = "typed: xterm" ] && ip netns exec "$RH_NS" iptables -I "${x_drop[@]}"
  env LC_ALL=C.UTF-8 "$DOVREL" -v "${RH_ADDR[$server]}" "$DISPLAY_NUM" x >"$RH_WORK/dovrel.log" 2>&1 &
  local pid=$! form
  form=$(wait_window_named '^Dovrel$' 15) || { kill "$pid"; wait "$pid"; check 1 "$label: the form appears"; return; }
  xdotool type --delay 15 "$RH_USER"
  xdotool key Tab
  xdotool type --delay 15 "$PASSWORD"
  xdotool key Return
  local stalled
  if [ "$moment" = connect ]; then
    stalled=$(now_ms)
  else
    local deadline=$(($(now_ms) + 10000))
    until grep -qF -- "$moment" "$RH_WORK/dovrel.log" || [ "$(now_ms)" -ge "$deadline" ]; do sleep 0.01; done
    ip netns exec "$RH_NS" iptables -I "${drop[@]}"
    stalled=$(now_ms)
  fi
  if [ "$end" = escape ]; then
    sleep 1
    local pressed
    pressed=$(now_ms)
    xdotool key Escape
    wait_exit "$pid" 5
    STATUS=$?
    local took=$(($(now_ms) - pressed))
    check $([ "$STATUS" -eq 1 ] && [ "$took" -le 1000 ]; echo $?) \
      "$label: Escape 1 s into the stall ends the program within 1 s (status $STATUS, $took ms)"
    FIGURES[stall-$label-escape]=$took
  else
    # Cannot Connect comes in a box: dismissed as soon as it shows.
    local deadline=$((stalled + STALL_BOUND_MS + 3000)) box
    while kill -0 "$pid" 2>/dev/null && [ "$(now_ms)" -lt "$deadline" ]; do
      box=$(xdotool search --onlyvisible --name '^dovrel$' 2>/dev/null | grep -vx "$form" | head -n 1)
      if [ -n "$box" ]; then
        local ended=$(now_ms)
        sleep 0.3
        xdotool key Return
        break
      fi
      sleep 0.05
    done
    wait_exit "$pid" 5
    STATUS=$?
    local took=$(( ${ended:-$(now_ms)} - stalled))
    check $([ "$STATUS" -eq 1 ] && [ "$took" -le "$STALL_BOUND_MS" ]; echo $?) \
      "$label: ends by itself with status 1 within $((STALL_BOUND_MS / 1000)) s of the stall (status $STATUS, $took ms)"
    check $(grep -v ': [0-9.]* s: ' "$RH_WORK/dovrel.log" | grep -qE "$4"; echo $?) \
      "$label: standard error names the step and the cause: $(grep -v ': [0-9.]* s: ' "$RH_WORK/dovrel.log" | grep -E 'dovrel: (stopped|Cannot)' | head -n 1)"
    FIGURES[stall-$label-self]=$took
  fi
  ip netns exec "$RH_NS" iptables -D "${drop[@]}"
  [ "$moment" = "typed: xterm" ] && ip netns exec "$RH_NS" iptables -D "${x_drop[@]}"
  reset_remote
}
stall_ends=(escape)
[ "$TIMING" -eq 1 ] && stall_ends=(self escape)
for end in "${stall_ends[@]}"; do
  stall "before the SYN-ACK" connect "$end" "Cannot Connect: .* port 23: timed out after 10 s"
  # Where the dialogue stands when the drop comes decides the step named:
  # the password prompt, the shell, or (silence after the password is taken
  # as a quiet shell) the watch.
  stall "after the user name" "typed: $RH_USER" "$end" "stopped (waiting for the (password prompt|shell after the password)|watching for the terminal): the host (acknowledged nothing typed for 10 s|sent nothing for 5 s)"
  stall "after the command line" "typed: xterm" "$end" "stopped (watching for the terminal|typing exit): the host acknowledged nothing typed for (10|5) s"
done

# The display the terminal is sent to stops (SIGSTOP), the form on another:
# Escape still ends the program at once.
STOPPED_NUM=$(free_display_number down)
Xvfb ":$STOPPED_NUM" -listen tcp -ac -screen 0 640x480x24 >"$RH_WORK/xvfb-stopped.log" 2>&1 &
STOPPED_PID=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$STOPPED_NUM" ] && break; sleep 0.1; done
env LC_ALL=C.UTF-8 "$DOVREL" -v "${RH_ADDR[busybox]}" "$STOPPED_NUM" x >"$RH_WORK/dovrel.log" 2>&1 &
pid=$!
if form=$(wait_window_named '^Dovrel$' 15); then
  xdotool type --delay 15 "$RH_USER"
  xdotool key Tab
  xdotool type --delay 15 "$PASSWORD"
  kill -STOP "$STOPPED_PID"
  xdotool key Return
  deadline=$(($(now_ms) + 10000))
  until grep -qF "typed: xterm" "$RH_WORK/dovrel.log" || [ "$(now_ms)" -ge "$deadline" ]; do sleep 0.01; done
  sleep 1
  pressed=$(now_ms)
  xdotool key Escape
  wait_exit "$pid" 5
  STATUS=$?
  took=$(($(now_ms) - pressed))
  check $([ "$STATUS" -eq 1 ] && [ "$took" -le 1000 ]; echo $?) \
    "a stopped display: Escape during the watch ends the program within 1 s (status $STATUS, $took ms)"
  FIGURES[stall-display-escape]=$took
else
  kill "$pid"
  check 1 "a stopped display: the form appears"
fi
kill -CONT "$STOPPED_PID"
kill "$STOPPED_PID" && wait "$STOPPED_PID" 2>/dev/null
reset_remote

# 200 ms round trip for telnet and X alike: the window may take most of a
# minute, but the terminal's lasting X connection tells it has started.
remote_host_route_x slow-link add
dialogue "${RH_ADDR[slow-link]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ "$STATUS" -eq 0 ]; echo $?) "200 ms round trip: reported as started (status $STATUS, $ENTER_TO_EXIT ms)"
remote_host_route_x slow-link delete
reset_remote

# Non-ASCII password in a UTF-8 locale, on both servers.
UTF8_PASSWORD='pässwörd-ÿ'
remote_host_set_password "$UTF8_PASSWORD"
for server in busybox inetutils; do
  dialogue "${RH_ADDR[$server]}" "$UTF8_PASSWORD" XTerm x LC_ALL=en_US.UTF-8
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "$server: a non-ASCII password logs in (status $STATUS)"
  reset_remote
done
remote_host_set_password "$PASSWORD"

# Type-ahead: /bin/login throws away what arrives before the shell starts.
lost=0
for run in $(seq "$TYPE_AHEAD_RUNS"); do
  server=busybox
  [ $((run % 2)) -eq 0 ] && server=inetutils
  dialogue "${RH_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
  if [ -z "$WINDOW" ] || [ "$STATUS" -ne 0 ]; then
    lost=$((lost + 1))
    echo "#   run $run ($server): no launch (status $STATUS)"
  else
    FIGURES[$server]="${FIGURES[$server]:-} $ENTER_TO_WINDOW"
  fi
  reset_remote
done
check $([ "$lost" -eq 0 ]; echo $?) "type-ahead: $TYPE_AHEAD_RUNS dialogues in a row lose no launch ($lost lost)"

# Negative control: with the display address wrong the check must fail.
dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8 LD_PRELOAD="$SHIM"
sleep 2
check $([ -z "$WINDOW" ] && [ -z "$(window_of_class XTerm)" ]; echo $?) \
  "negative control: with a loopback display address no window appears"
reset_remote

check $([ "$LEAKS" -eq 0 ]; echo $?) "the password was in no argv, environment or output of dovrel ($LEAKS leaks)"

for server in busybox inetutils; do
  sorted=$(echo "${FIGURES[$server]:-}" | tr ' ' '\n' | grep -v '^$' | sort -n)
  count=$(echo "$sorted" | grep -c .)
  [ "$count" -gt 0 ] || continue
  median=$(echo "$sorted" | sed -n "$(((count + 1) / 2))p")
  echo "# $server: Enter to window over $count launches: min $(echo "$sorted" | head -n 1) ms," \
    "median $median ms, max $(echo "$sorted" | tail -n 1) ms"
done
for stall in "${!FIGURES[@]}"; do
  [[ "$stall" == stall-* ]] && echo "# ${stall#stall-}: ${FIGURES[$stall]} ms"
done
echo "real servers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
