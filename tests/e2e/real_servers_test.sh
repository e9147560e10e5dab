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

DOVREL=$1
SHIM=$2
SERVERS=${DOVREL_E2E_SERVERS:-$(cd "$(dirname "$0")/../.." && pwd)/build/e2e-servers}
SKIPPED=77
TYPE_AHEAD_RUNS=${DOVREL_E2E_TYPE_AHEAD_RUNS:-30}

skip_or_fail() {
  if [ -n "${CI:-}" ]; then
    echo "FAIL: cannot run in CI: $1"
    exit 1
  fi
  echo "SKIP: $1"
  exit $SKIPPED
}

[ "$(id -u)" -eq 0 ] || skip_or_fail "needs root (network namespace, port 23, a local user)"
for tool in ip socat xterm Xvfb xauth xdotool xwininfo useradd chpasswd mcookie; do
  command -v "$tool" >/dev/null || skip_or_fail "needs $tool (scripts/test installs it)"
done
BUSYBOX=$SERVERS/bin/busybox
TELNETD=$SERVERS/usr/sbin/telnetd
[ -x "$BUSYBOX" ] && [ -x "$TELNETD" ] || skip_or_fail "telnet servers not unpacked in $SERVERS (scripts/test does it)"

# ---------------------------------------------------------------- set-up ---

ID=$$
NET=$((ID % 200 + 20))
NS=dovrel-e2e-$ID
VETH_HOST=dvh$ID
VETH_REMOTE=dvr$ID
LOCAL_ADDR=10.200.$NET.1
BUSYBOX_ADDR=10.200.$NET.2
INETUTILS_ADDR=10.200.$NET.3
TEST_USER=dve2e$ID
WORK=$(mktemp -d /tmp/dovrel-e2e.XXXXXX)
chmod 755 "$WORK"
HOME_DIR=$WORK/home
PIDS=()
passed=0
failed=0

cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  kill_user_processes
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  ip netns del "$NS" 2>/dev/null
  ip link del "$VETH_HOST" 2>/dev/null
  id "$TEST_USER" >/dev/null 2>&1 && userdel "$TEST_USER" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The remote user's processes were started by the servers this test runs.
kill_user_processes() {
  id "$TEST_USER" >/dev/null 2>&1 || return 0
  local pids
  for _ in 1 2 3 4 5; do
    pids=$(pgrep -u "$TEST_USER")
    [ -z "$pids" ] && return 0
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null
    sleep 0.2
  done
  # shellcheck disable=SC2086
  kill -9 $pids 2>/dev/null
}

check() {  # check CONDITION-STATUS DESCRIPTION
  if [ "$1" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok   $2"
  else
    failed=$((failed + 1))
    echo "FAIL $2"
    [ -s "$WORK/dovrel.log" ] && sed "s/^/#   dovrel: /" "$WORK/dovrel.log" | head -n 5
  fi
}

ip netns add "$NS" || skip_or_fail "cannot create a network namespace"
ip link add "$VETH_HOST" type veth peer name "$VETH_REMOTE"
ip link set "$VETH_REMOTE" netns "$NS"
ip addr add "$LOCAL_ADDR/24" dev "$VETH_HOST"
ip link set "$VETH_HOST" up
ip -n "$NS" addr add "$BUSYBOX_ADDR/24" dev "$VETH_REMOTE"
ip -n "$NS" addr add "$INETUTILS_ADDR/24" dev "$VETH_REMOTE"
ip -n "$NS" link set "$VETH_REMOTE" up
ip -n "$NS" link set lo up

# The X server: a free display number (one digit, as the program takes it),
# TCP listening, a cookie, no -ac.
DISPLAY_NUM=
for n in $(seq 1 9); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NUM=$n; break; fi
done
[ -n "$DISPLAY_NUM" ] || { echo "FAIL: no free X display number"; exit 1; }
COOKIE=$(mcookie)
touch "$WORK/server.auth" "$WORK/client.auth"
xauth -q -f "$WORK/server.auth" add ":$DISPLAY_NUM" . "$COOKIE"
xauth -q -f "$WORK/client.auth" add ":$DISPLAY_NUM" . "$COOKIE"
Xvfb ":$DISPLAY_NUM" -listen tcp -noreset -auth "$WORK/server.auth" -screen 0 1280x1024x24 \
  >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=:$DISPLAY_NUM XAUTHORITY=$WORK/client.auth
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "FAIL: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }

# The remote user, with the start-up files a user of each shell has.
PASSWORD=Tr0ub4dor-e2e
useradd -M -d "$HOME_DIR" -s /bin/bash "$TEST_USER"
mkdir -p "$HOME_DIR/bin"
cp -r /etc/skel/. "$HOME_DIR/"
: >"$HOME_DIR/.zshrc"
cat >"$HOME_DIR/bin/kterm" <<'EOS'
#!/bin/sh
# Stands in for kterm, which Debian does not package.
echo "$@" >"$HOME/kterm-arguments"
exec xterm -class KTerm "$@"
EOS
chmod 755 "$HOME_DIR/bin/kterm"
# tcsh and zsh do not read .profile; give them ~/bin as well.
echo 'set path = ($HOME/bin $path)' >"$HOME_DIR/.cshrc"
echo 'path=($HOME/bin $path)' >"$HOME_DIR/.zshenv"
touch "$HOME_DIR/.Xauthority"
xauth -q -f "$HOME_DIR/.Xauthority" add "$LOCAL_ADDR:$DISPLAY_NUM" . "$COOKIE"
chown -R "$TEST_USER:" "$HOME_DIR"
set_password() { printf '%s:%s\n' "$TEST_USER" "$1" | chpasswd; }
set_password "$PASSWORD"

# The servers, with a clean environment: /bin/login -p passes it on.
CLEAN_ENV=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin)
ip netns exec "$NS" "${CLEAN_ENV[@]}" "$BUSYBOX" telnetd -F -b "$BUSYBOX_ADDR:23" -l /bin/login \
  >"$WORK/busybox.log" 2>&1 &
PIDS+=($!)
ip netns exec "$NS" "${CLEAN_ENV[@]}" socat "TCP-LISTEN:23,bind=$INETUTILS_ADDR,reuseaddr,fork" \
  "EXEC:$TELNETD,nofork" >"$WORK/inetutils.log" 2>&1 &
PIDS+=($!)
sleep 0.5

# ---------------------------------------------------------------- checks ---

now_ms() { date +%s%3N; }

# The first visible window whose name matches (xdotool ignores case), other
# than the window $3, waiting at most $2 seconds.
wait_window_named() {
  local deadline=$(($(now_ms) + $2 * 1000))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    local id
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${3:-none}" | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

window_of_class() { xdotool search --onlyvisible --class "^$1\$" 2>/dev/null | head -n 1; }

# Waits for the program's exit; its status, or 124 after $2 seconds.
wait_exit() {
  local pid=$1 deadline=$(($(now_ms) + $2 * 1000))
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$(now_ms)" -ge "$deadline" ]; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      return 124
    fi
    sleep 0.05
  done
  wait "$pid"
}

# One run of the program as a person would do it. Sets STATUS, ENTER_TO_EXIT
# (ms), ENTER_TO_WINDOW (ms, or empty) and WINDOW (its id, or empty).
#   dialogue ADDRESS PASSWORD CLASS [x] [env assignments...]
dialogue() {
  local address=$1 password=$2 class=$3 switch=$4
  shift 4
  env "$@" "$DOVREL" "$address" "$DISPLAY_NUM" $switch >"$WORK/dovrel.log" 2>&1 &
  local pid=$!
  WINDOW=
  ENTER_TO_WINDOW=
  if ! wait_window_named '^Dovrel$' 15 >/dev/null; then
    STATUS=125
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  xdotool type --delay 15 "$TEST_USER"
  xdotool key Tab
  xdotool type --delay 15 "$password"
  local enter
  enter=$(now_ms)
  xdotool key Return
  # Watch for the terminal while the program runs, and a little after.
  local deadline=$((enter + 12000))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    WINDOW=$(window_of_class "$class")
    if [ -n "$WINDOW" ]; then ENTER_TO_WINDOW=$(($(now_ms) - enter)); break; fi
    kill -0 "$pid" 2>/dev/null || [ "$(now_ms)" -lt $((deadline - 9000)) ] || break
    sleep 0.05
  done
  wait_exit "$pid" 15
  STATUS=$?
  ENTER_TO_EXIT=$(($(now_ms) - enter))
}

# Closes the remote terminal and whatever else the remote user left running.
reset_remote() {
  kill_user_processes
  local deadline=$(($(now_ms) + 5000))
  while [ -n "$(window_of_class XTerm)$(window_of_class KTerm)" ] && [ "$(now_ms)" -lt "$deadline" ]; do
    sleep 0.05
  done
  rm -f "$HOME_DIR/kterm-arguments"
}

# A refused login: the box is dismissed as a person would. Sets BOX (the
# box's window, or empty) and STATUS.
wrong_password() {
  env LC_ALL=C.UTF-8 "$DOVREL" "$1" "$DISPLAY_NUM" x >"$WORK/dovrel.log" 2>&1 &
  local pid=$!
  BOX=
  local form
  if ! form=$(wait_window_named '^Dovrel$' 15); then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    STATUS=125
    return
  fi
  xdotool type --delay 15 "$TEST_USER"
  xdotool key Tab
  xdotool type --delay 15 "not-the-password"
  xdotool key Return
  # The box is captioned "dovrel", the form "Dovrel".
  BOX=$(wait_window_named '^dovrel$' 20 "$form")
  [ -n "$BOX" ] && sleep 0.3 && xdotool key Return
  wait_exit "$pid" 15
  STATUS=$?
}

declare -A SERVER_ADDR=([busybox]=$BUSYBOX_ADDR [inetutils]=$INETUTILS_ADDR)
declare -A FIGURES=()

echo "# display :$DISPLAY_NUM, this machine $LOCAL_ADDR, busybox $BUSYBOX_ADDR, inetutils $INETUTILS_ADDR"

for server in busybox inetutils; do
  for shell in bash dash zsh tcsh; do
    usermod -s "$(command -v "$shell")" "$TEST_USER"
    label="$server/$shell"
    dialogue "${SERVER_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
    check $([ -n "$WINDOW" ]; echo $?) "$label: an XTerm window appears (${ENTER_TO_WINDOW:-none} ms after Enter)"
    if [ -n "$WINDOW" ]; then
      geometry=$(xwininfo -id "$WINDOW" | sed -n 's/^ *-geometry //p')
      check $([ "$geometry" = "80x25+0+0" ]; echo $?) "$label: its geometry is 80x25+0+0 ($geometry)"
      check $(pgrep -u "$TEST_USER" -x xterm >/dev/null; echo $?) "$label: it runs as the remote user"
    fi
    check $([ "$STATUS" -eq 0 ] && [ "$ENTER_TO_EXIT" -le 5000 ]; echo $?) \
      "$label: dovrel ends by itself with status 0 within 5 s of Enter (status $STATUS, $ENTER_TO_EXIT ms)"
    if [ -n "$WINDOW" ]; then
      sleep 0.5
      check $([ -n "$(window_of_class XTerm)" ]; echo $?) "$label: the terminal is still there after dovrel ended"
      FIGURES[$server]="${FIGURES[$server]:-} $ENTER_TO_WINDOW"
    fi
    reset_remote
  done

  usermod -s /bin/bash "$TEST_USER"
  dialogue "${SERVER_ADDR[$server]}" "$PASSWORD" KTerm "" LC_ALL=C.UTF-8
  arguments=$(cat "$HOME_DIR/kterm-arguments" 2>/dev/null)
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "$server: without x a KTerm window appears (status $STATUS)"
  check $([ "$arguments" = "-geometry 80x25+0+0 -display $LOCAL_ADDR:$DISPLAY_NUM" ]; echo $?) \
    "$server: kterm got the display asked for ($arguments)"
  reset_remote

  wrong_password "${SERVER_ADDR[$server]}"
  check $([ -n "$BOX" ]; echo $?) "$server: a wrong password shows the Login incorrect box"
  check $([ "$STATUS" -eq 1 ]; echo $?) "$server: a wrong password ends with status 1 (status $STATUS)"
  check $([ -z "$(window_of_class XTerm)" ]; echo $?) "$server: a wrong password gives no terminal"
  reset_remote
done

# Non-ASCII password in a UTF-8 locale, on both servers.
UTF8_PASSWORD='pässwörd-ÿ'
set_password "$UTF8_PASSWORD"
for server in busybox inetutils; do
  dialogue "${SERVER_ADDR[$server]}" "$UTF8_PASSWORD" XTerm x LC_ALL=en_US.UTF-8
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "$server: a non-ASCII password logs in (status $STATUS)"
  reset_remote
done
set_password "$PASSWORD"

# Type-ahead: /bin/login throws away what arrives before the shell starts.
lost=0
for run in $(seq "$TYPE_AHEAD_RUNS"); do
  server=busybox
  [ $((run % 2)) -eq 0 ] && server=inetutils
  dialogue "${SERVER_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
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
dialogue "$BUSYBOX_ADDR" "$PASSWORD" XTerm x LC_ALL=C.UTF-8 LD_PRELOAD="$SHIM"
sleep 2
check $([ -z "$WINDOW" ] && [ -z "$(window_of_class XTerm)" ]; echo $?) \
  "negative control: with a loopback display address no window appears"
reset_remote

for server in busybox inetutils; do
  sorted=$(echo "${FIGURES[$server]:-}" | tr ' ' '\n' | grep -v '^$' | sort -n)
  count=$(echo "$sorted" | grep -c .)
  [ "$count" -gt 0 ] || continue
  median=$(echo "$sorted" | sed -n "$(((count + 1) / 2))p")
  echo "# $server: Enter to window over $count launches: min $(echo "$sorted" | head -n 1) ms," \
    "median $median ms, max $(echo "$sorted" | tail -n 1) ms"
done
echo "real servers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
