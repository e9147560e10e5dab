#!/usr/bin/env bash
# Who reaches the display through the relay, against real telnet servers and
# a real X server that takes no TCP: only the launched terminal's account on
# the host, with the cookie of its launch. A second account on the host and a
# second local account (nobody) try to get in.
#
#   relay_access_test.sh DOVREL
#
# Needs root and network namespaces. Exit 77 (skipped) without them, except
# in CI, where it must run. Prints one line per check and a closing count.

set -uo pipefail

DOVREL=$1
SERVERS=${DOVREL_E2E_SERVERS:-$(cd "$(dirname "$0")/../.." && pwd)/build/e2e-servers}

skip_or_fail() {
  if [ -n "${CI:-}" ]; then
    echo "FAIL: cannot run in CI: $1"
    exit 1
  fi
  echo "SKIP: $1"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip_or_fail "needs root (network namespace, port 23, local users)"
for tool in ip python3 socat setpriv xterm Xvfb xauth xdotool xdpyinfo xwininfo xwd useradd prlimit; do
  command -v "$tool" >/dev/null || skip_or_fail "needs $tool (scripts/test installs it)"
done
[ -x "$SERVERS/bin/busybox" ] && [ -x "$SERVERS/usr/sbin/telnetd" ] || skip_or_fail "telnet servers not unpacked in $SERVERS"

source "$(dirname "$0")/../../scripts/remote_host.sh"
source "$(dirname "$0")/launch_lib.sh"
remote_host_init dovrel-access "$SERVERS"
XVFB_PID=
RELAY_XVFB_PID=
OTHER_USER=${RH_USER:0:26}other
HELPERS=()

cleanup() {
  local pid
  for pid in "${HELPERS[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  [ -n "$RELAY_XVFB_PID" ] && kill "$RELAY_XVFB_PID" 2>/dev/null
  local others
  others=$(pgrep -u "$OTHER_USER" 2>/dev/null)
  # shellcheck disable=SC2086
  [ -n "$others" ] && kill $others 2>/dev/null
  id "$OTHER_USER" >/dev/null 2>&1 && userdel "$OTHER_USER" 2>/dev/null
  if [ -n "${LOCAL_USER:-}" ] && id "$LOCAL_USER" >/dev/null 2>&1; then
    others=$(pgrep -u "$LOCAL_USER" 2>/dev/null)
    # shellcheck disable=SC2086
    [ -n "$others" ] && kill $others 2>/dev/null
    rm -rf "/tmp/dovrel-$(id -u "$LOCAL_USER")"
    userdel "$LOCAL_USER" 2>/dev/null
  fi
  remote_host_cleanup
}
trap cleanup EXIT
trap 'exit 1' INT TERM


# A command in the host's namespace as one of its accounts.
as_host_user() {
  local user=$1 home=$2
  shift 2
  ip netns exec "$RH_NS" setpriv --reuid="$user" --regid="$user" --init-groups env -i PATH=/usr/bin:/bin \
    HOME="$home" "$@"
}
# A command on this machine as nobody, in the background: the function's
# process becomes the command, so that its PID ends it.
as_nobody() { exec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }

remote_host_create || skip_or_fail "cannot create a network namespace and a user"
useradd -M -d "$RH_WORK/other" -s /bin/sh "$OTHER_USER" && mkdir -p "$RH_WORK/other" &&
  chown "$OTHER_USER:" "$RH_WORK/other" || skip_or_fail "cannot create a second user"
start_private_xvfb "$RH_WORK" || { echo "FAIL: no X server"; exit 1; }
PASSWORD=Tr0ub4dor-access
remote_host_set_password "$PASSWORD"
remote_host_start busybox || exit 1
remote_host_start inetutils || exit 1
start_relay_xvfb "$RH_WORK" || exit 1
RELAY_COOKIE=$STARTED_COOKIE
relay_port=$((6000 + RELAY_NUM))
relay_pid() { pgrep -x dovrel-relay | head -n 1; }
target=$RH_LOCAL_ADDR:$RELAY_NUM
# Whether an account of the host reaches the relayed display with the cookie
# file it is given.
reaches() { as_host_user "$1" "$2" env XAUTHORITY="$3" xdpyinfo -display "$target" >/dev/null 2>&1; }
launch_cookie() { xauth -f "$RH_HOME/.Xauthority" list "$target" 2>/dev/null | awk '{print $3}' | head -n 1; }
printf '' >"$RH_WORK/no-cookie"
touch "$RH_WORK/wrong-cookie" "$RH_WORK/real-cookie"
xauth -q -f "$RH_WORK/wrong-cookie" add "$target" MIT-MAGIC-COOKIE-1 "$(mcookie)"
xauth -q -f "$RH_WORK/real-cookie" add "$target" MIT-MAGIC-COOKIE-1 "$RELAY_COOKIE"
chmod 644 "$RH_WORK/no-cookie" "$RH_WORK/wrong-cookie" "$RH_WORK/real-cookie"
echo "# relay display :$RELAY_NUM, this machine $RH_LOCAL_ADDR, busybox ${RH_ADDR[busybox]}, inetutils ${RH_ADDR[inetutils]}"

# ------------------------------------------ while the terminal lives ---

for server in busybox inetutils; do
  label="$server via the relay"
  use_relay_display "$server"
  rm -f "$RH_HOME/.bash_history"
  # The second account reads every process's command line while the launch
  # runs, keeping every 32-digit hex word it sees.
  # It stops at its next round once told, before the checks below (whose own
  # command lines hold the cookie) run.
  rm -f "$RH_WORK/stop-watching"
  as_host_user "$OTHER_USER" "$RH_WORK/other" sh -c \
    'while [ ! -e "$0" ]; do cat /proc/[0-9]*/cmdline 2>/dev/null | tr "\0" "\n" | grep -aoE "[0-9a-f]{32}"; done' \
    "$RH_WORK/stop-watching" >"$RH_WORK/seen-$server" 2>/dev/null &
  watcher=$!
  # A control: a word like a cookie in a command line is seen.
  sh -c 'sleep 1' 0123456789abcdef0123456789abcdef &
  dialogue "${RH_ADDR[$server]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
  touch "$RH_WORK/stop-watching"
  wait "$watcher" 2>/dev/null
  check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) \
    "$label: the terminal shows (status $STATUS, ${ENTER_TO_WINDOW:-none} ms)"
  cookie=$(launch_cookie)
  check $([ ${#cookie} -eq 32 ] && [ "$cookie" != "$RELAY_COOKIE" ]; echo $?) \
    "$label: the launch's own cookie is in the remote user's ~/.Xauthority"
  check $(grep -qF 0123456789abcdef0123456789abcdef "$RH_WORK/seen-$server"; echo $?) \
    "$label: the second account's watch sees a cookie-like word in another command line (the control)"
  check $([ -n "$cookie" ] && ! grep -qF "$cookie" "$RH_WORK/seen-$server"; echo $?) \
    "$label: the second account never saw the cookie in a command line ($(sort -u "$RH_WORK/seen-$server" | wc -l) hex words seen)"
  check $(grep -qF "xauth -v -" "$RH_HOME/.bash_history" 2>/dev/null && ! grep -qF "${cookie:-none}" "$RH_HOME/.bash_history"; echo $?) \
    "$label: the shell's history has the xauth line but not the cookie"
  check $([ -n "$cookie" ] && ! grep -qF "$cookie" "$RH_WORK/dovrel.log"; echo $?) "$label: dovrel printed no cookie"
  for file in no-cookie wrong-cookie real-cookie; do
    check $(! reaches "$OTHER_USER" "$RH_WORK/other" "$RH_WORK/$file"; echo $?) \
      "$label: the second account of the host gets nothing with $file"
  done
  check $(reaches "$RH_USER" "$RH_HOME" "$RH_HOME/.Xauthority"; echo $?) \
    "$label: a program of the terminal's account reaches the display"
  reset_remote
done

# --------------------------------------------------- no xauth on the host ---

# A login shell whose PATH has everything of /usr/bin but xauth.
mkdir -p "$RH_WORK/no-xauth-bin"
for program in /usr/bin/*; do ln -sf "$program" "$RH_WORK/no-xauth-bin/"; done
rm -f "$RH_WORK/no-xauth-bin/xauth"
cat >"$RH_WORK/no-xauth-shell" <<EOS
#!/bin/bash
export PATH=$RH_WORK/no-xauth-bin
exec -a -bash /bin/bash --noprofile --norc -i
EOS
chmod 755 "$RH_WORK/no-xauth-shell"
usermod -s "$RH_WORK/no-xauth-shell" "$RH_USER"
use_relay_display busybox
failing_dialogue "${RH_ADDR[busybox]}" "$PASSWORD" "$RELAY_NUM" x
check $([ "$STATUS" -eq 1 ] && [ -n "$BOX" ]; echo $?) "no xauth on the host: status 1 and a box (status $STATUS)"
check $(grep -qF "xauth was not found on ${RH_ADDR[busybox]}" "$RH_WORK/dovrel.log" &&
  grep -qF -- "--trust-host: then every user of ${RH_ADDR[busybox]} can reach display :$RELAY_NUM" "$RH_WORK/dovrel.log"; echo $?) \
  "no xauth on the host: standard error gives the cause and the remedy"
check $(! grep -q "typed: xterm" "$RH_WORK/dovrel.log"; echo $?) "no xauth on the host: no command line typed"
reset_remote
DOVREL_FLAGS=--trust-host dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "no xauth, --trust-host: the terminal shows (status $STATUS)"
check $(grep -qF "every user of ${RH_ADDR[busybox]} can reach display :$RELAY_NUM" "$RH_WORK/dovrel.log"; echo $?) \
  "--trust-host: standard error says every user of the host can reach the display"
reset_remote
usermod -s /bin/bash "$RH_USER"

# ----------------------------------------------------------- --untrusted ---

# A local client of this user's, trusted: its window must stay out of an
# untrusted client's sight.
use_relay_display inetutils
xterm -title dovrel-trusted-window -e sleep 600 >/dev/null 2>&1 &
HELPERS+=($!)
wait_window_named '^dovrel-trusted-window$' 10 >/dev/null
# Reads the window's image, as a screen grabber would (the server's
# security policy lets an untrusted client see that the window is there).
reads_trusted_window() {
  local window
  window=$(xwininfo -name dovrel-trusted-window | awk '/Window id/ {print $4}')
  as_host_user "$RH_USER" "$RH_HOME" env XAUTHORITY="$RH_HOME/.Xauthority" xwd -display "$target" \
    -id "$window" -silent >/dev/null 2>&1
}
has_xtest() {
  local extensions
  extensions=$(as_host_user "$RH_USER" "$RH_HOME" env XAUTHORITY="$RH_HOME/.Xauthority" xdpyinfo \
    -display "$target" -queryExtensions 2>/dev/null)
  [[ "$extensions" == *XTEST* ]]
}
dialogue "${RH_ADDR[inetutils]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $(reads_trusted_window; echo $?) "trusted (the default): the terminal's account reads another client's window"
check $(has_xtest; echo $?) "trusted (the default): the terminal's account has XTEST"
reset_remote
DOVREL_FLAGS=--untrusted dialogue "${RH_ADDR[inetutils]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "--untrusted: the terminal shows (status $STATUS)"
check $(! reads_trusted_window; echo $?) "--untrusted: a program of the terminal's account cannot read another client's window"
check $(! has_xtest; echo $?) "--untrusted: XTEST is refused"
reset_remote

# ------------------------------------------------- a local account: nobody ---

# nobody listens on every address at a display's TCP port.
SQUAT_NUM=$(free_display_number down)
as_nobody socat "TCP-LISTEN:$((6000 + SQUAT_NUM)),reuseaddr,fork" SYSTEM:true >/dev/null 2>&1 &
HELPERS+=($!)
sleep 0.5
use_main_display
failing_dialogue "${RH_ADDR[busybox]}" "$PASSWORD" "$SQUAT_NUM" x
check $([ "$STATUS" -eq 1 ] && [ -n "$BOX" ]; echo $?) "nobody on 0.0.0.0:$((6000 + SQUAT_NUM)): status 1 and a box (status $STATUS)"
check $(grep -qF "TCP port $((6000 + SQUAT_NUM)) of $RH_LOCAL_ADDR, where the terminal would reach display :$SQUAT_NUM, is held by uid 65534" "$RH_WORK/dovrel.log"; echo $?) \
  "nobody's listener: the cause names the owner and the port"
check $(! grep -q "typed:" "$RH_WORK/dovrel.log"; echo $?) "nobody's listener: nothing typed"
reset_remote

# nobody cannot put a join socket where the launch looks for the relay:
# the directory is root's alone (mode 0700), and the launch still works.
join_dir=/tmp/dovrel-0
[ -n "${XDG_RUNTIME_DIR:-}" ] && [ -O "$XDG_RUNTIME_DIR" ] && join_dir=$XDG_RUNTIME_DIR/dovrel
mkdir -p -m 700 "$join_dir"
(as_nobody /usr/bin/python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])' "$join_dir/relay-$RH_LOCAL_ADDR:$relay_port" 2>/dev/null)
check $([ $? -ne 0 ] && [ ! -e "$join_dir/relay-$RH_LOCAL_ADDR:$relay_port" ]; echo $?) \
  "nobody cannot place a join socket in the launch's own directory ($(stat -c '%U %a' "$join_dir"))"
use_relay_display busybox
DOVREL_FLAGS=-v dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
check $([ -n "$WINDOW" ] && [ "$STATUS" -eq 0 ]; echo $?) "beside nobody's try, the launch starts its relay (status $STATUS)"

# ------------------------------------------- forty idle connections ---

# The terminal lives; the host opens forty connections and sends nothing.
cat >"$RH_WORK/idle.py" <<'EOS'
import socket, sys, time
held = []
for _ in range(int(sys.argv[3])):
    s = socket.socket()
    s.settimeout(2)
    try:
        s.connect((sys.argv[1], int(sys.argv[2])))
        held.append(s)
    except OSError:
        pass
time.sleep(float(sys.argv[4]))
EOS
ip netns exec "$RH_NS" python3 "$RH_WORK/idle.py" "$RH_LOCAL_ADDR" "$relay_port" 40 6 &
idle=$!
sleep 1
check $(reaches "$RH_USER" "$RH_HOME" "$RH_HOME/.Xauthority"; echo $?) "forty idle connections: a good client still gets in"
relay=$(relay_pid)
pipes=$(ls -l "/proc/$relay/fd" 2>/dev/null | grep -c pipe)
check $([ "$pipes" -le 5 ]; echo $?) "forty idle connections: the relay holds no pipe for them ($pipes pipe ends: the control and the terminal's)"
wait "$idle"
# The relay out of descriptors: it stops looking at its listener rather than spin.
prlimit --pid "$relay" --nofile=12:12
ip netns exec "$RH_NS" python3 "$RH_WORK/idle.py" "$RH_LOCAL_ADDR" "$relay_port" 40 4 &
idle=$!
sleep 1
ticks=$(getconf CLK_TCK)
before=$(awk '{print $14 + $15}' "/proc/$relay/stat")
sleep 2
after=$(awk '{print $14 + $15}' "/proc/$relay/stat")
cpu=$(( (after - before) * 100 / (2 * ticks) ))
check $([ "$cpu" -lt 5 ]; echo $?) "out of descriptors: the relay's CPU stays under 5 % ($cpu %)"
wait "$idle"
reset_remote
use_main_display

# ------------------------- as an unprivileged account, nobody the attacker ---

# A local account of no privilege launches; nobody on this machine and the
# second account on the host try to get in. The terminal goes to a display
# with no abstract name and no TCP, whose abstract name nobody holds: a
# client that tried that name first would hand nobody its cookie. The form
# stays on the main display.
LOCAL_USER=${RH_USER:0:26}local
LOCAL_HOME=$RH_WORK/local
useradd -M -d "$LOCAL_HOME" -s /bin/sh "$LOCAL_USER" && mkdir -p "$LOCAL_HOME" || skip_or_fail "cannot create a local user"
use_main_display
FILE_NUM=$(free_display_number) || exit 1
start_cookie_xvfb "$FILE_NUM" "$RH_WORK/file" "-nolisten tcp -nolisten local" || exit 1
HELPERS+=("$STARTED_XVFB_PID")
touch "$LOCAL_HOME/.Xauthority"
xauth -q -f "$LOCAL_HOME/.Xauthority" merge "$XAUTHORITY" "$RH_WORK/file-client.auth"
chown -R "$LOCAL_USER:" "$LOCAL_HOME"
cat >"$RH_WORK/squat.py" <<'EOS'
import socket, sys, threading
listener = socket.socket(socket.AF_UNIX)
listener.bind("\0" + sys.argv[1])
listener.listen(16)
def drain(connection):
    while True:
        data = connection.recv(4096)
        if not data:
            return
        with open(sys.argv[2], "ab") as seen:
            seen.write(data)
while True:
    connection, _ = listener.accept()
    with open(sys.argv[3], "a") as count:
        count.write("connection\n")
    threading.Thread(target=drain, args=(connection,), daemon=True).start()
EOS
: >"$RH_WORK/squat-bytes"
: >"$RH_WORK/squat-connections"
chmod 666 "$RH_WORK/squat-bytes" "$RH_WORK/squat-connections"
(as_nobody /usr/bin/python3 "$RH_WORK/squat.py" "/tmp/.X11-unix/X$FILE_NUM" "$RH_WORK/squat-bytes" "$RH_WORK/squat-connections") &
HELPERS+=($!)
cat >"$RH_WORK/as-local-dovrel" <<EOS
#!/bin/sh
exec setpriv --reuid "$LOCAL_USER" --regid "$LOCAL_USER" --init-groups env -u XDG_RUNTIME_DIR HOME="$LOCAL_HOME" \
  USER="$LOCAL_USER" XAUTHORITY="$LOCAL_HOME/.Xauthority" DOVREL_RELAY_LATE_GRACE_MS=8000 "$DOVREL" "\$@"
EOS
chmod 755 "$RH_WORK/as-local-dovrel"
for _ in $(seq 50); do grep -q "@/tmp/.X11-unix/X$FILE_NUM\$" /proc/net/unix && break; sleep 0.1; done
# Whether nobody can bind the display's port on address $1.
file_port=$((6000 + FILE_NUM))
binds() { (as_nobody /usr/bin/python3 -c 'import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind((sys.argv[1], int(sys.argv[2])))' "$1" "$file_port" 2>/dev/null); }
check $(grep -q "@/tmp/.X11-unix/X$FILE_NUM\$" /proc/net/unix && binds 0.0.0.0; echo $?) \
  "the controls: nobody holds the abstract name, and can bind port $file_port before the launch"
ip -n "$RH_NS" route replace "$RH_LOCAL_ADDR/32" dev "$RH_VETH_REMOTE" src "${RH_ADDR[busybox]}"
saved=$DISPLAY_NUM
DISPLAY_NUM=$FILE_NUM
DOVREL=$RH_WORK/as-local-dovrel DOVREL_FLAGS="-v --untrusted" dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x \
  LC_ALL=C.UTF-8
DISPLAY_NUM=$saved
local_relay=$(pgrep -u "$LOCAL_USER" -x dovrel-relay | head -n 1)
check $([ "$STATUS" -eq 0 ] && [ -n "$local_relay" ]; echo $?) \
  "unprivileged, --untrusted: the terminal shows on :$FILE_NUM through the account's own relay (status $STATUS)"
saved_target=$target
target=$RH_LOCAL_ADDR:$FILE_NUM
check $(reaches "$RH_USER" "$RH_HOME" "$RH_HOME/.Xauthority"; echo $?) \
  "unprivileged: while the terminal lives, a program of its account reaches the display"
check $([ ! -s "$RH_WORK/squat-bytes" ]; echo $?) \
  "unprivileged: nobody holding the display's abstract name got no byte ($(wc -l <"$RH_WORK/squat-connections") bare connections)"
check $(! setpriv --reuid=65534 --regid=65534 --clear-groups ls "/tmp/dovrel-$(id -u "$LOCAL_USER")" >/dev/null 2>&1; echo $?) \
  "unprivileged: nobody cannot look into the account's socket directory"
# The terminal goes. The host keeps one idle connection open, replaced
# every two seconds: it must keep nothing alive.
reset_remote
closed=$(now_ms)
ip netns exec "$RH_NS" sh -c "while :; do python3 '$RH_WORK/idle.py' '$RH_LOCAL_ADDR' '$file_port' 1 2; done" &
keeper=$!
sleep 5.6
check $(! binds 0.0.0.0 && ! binds "$RH_LOCAL_ADDR"; echo $?) \
  "unprivileged: after the terminal, in the grace period, nobody cannot bind port $file_port"
check $(! reaches "$RH_USER" "$RH_HOME" "$RH_HOME/.Xauthority"; echo $?) \
  "unprivileged: after the admission window the launch's own cookie gets nothing"
gone=
while [ "$(now_ms)" -lt $((closed + 14000)) ]; do
  pgrep -u "$LOCAL_USER" -x dovrel-relay >/dev/null || { gone=$(($(now_ms) - closed)); break; }
  sleep 0.2
done
kill "$keeper" 2>/dev/null
wait "$keeper" 2>/dev/null
check $([ -n "$gone" ] && [ "$gone" -ge 7500 ]; echo $?) \
  "unprivileged: the relay ends after its grace (8 s) though the host kept an idle connection (${gone:-not} ms)"
check $(binds 0.0.0.0; echo $?) "unprivileged: after the grace the port is free again"
# nobody made the account's socket directory first (no XDG_RUNTIME_DIR): no
# join for this launch, which says why and starts a relay of its own.
rm -rf "/tmp/dovrel-$(id -u "$LOCAL_USER")"
(as_nobody mkdir -m 777 "/tmp/dovrel-$(id -u "$LOCAL_USER")")
saved=$DISPLAY_NUM
DISPLAY_NUM=$FILE_NUM
DOVREL=$RH_WORK/as-local-dovrel DOVREL_FLAGS=-v dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
DISPLAY_NUM=$saved
check $([ "$STATUS" -eq 0 ] && grep -q "takes no later launch: the directory of this user's sockets" \
  "$RH_WORK/dovrel.log"; echo $?) \
  "unprivileged, /tmp/dovrel-<uid> made by nobody: the terminal shows through a relay of its own, and says why (status $STATUS)"
rm -rf "/tmp/dovrel-$(id -u "$LOCAL_USER")"
target=$saved_target
reset_remote
use_main_display

# ----------------------------------------- a Wayland desktop's X server ---

# Headless weston starts Xwayland on the first free display, without TCP and
# without SECURITY. The form stays on Xvfb (headless weston gives X clients
# no keyboard); the terminal is sent to Xwayland.
if command -v weston >/dev/null && command -v Xwayland >/dev/null; then
  export XDG_RUNTIME_DIR=$RH_WORK/runtime
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  weston --backend=headless-backend.so --shell=kiosk-shell.so --xwayland --socket="wl-$RH_ID" \
    >"$RH_WORK/weston.log" 2>&1 &
  HELPERS+=($!)
  for _ in $(seq 50); do grep -q "xserver listening on display" "$RH_WORK/weston.log" && break; sleep 0.1; done
  wayland_num=$(sed -n 's/.*xserver listening on display :\([0-9]\).*/\1/p' "$RH_WORK/weston.log" | head -n 1)
  if [ -n "$wayland_num" ]; then
    use_main_display
    ip -n "$RH_NS" route replace "$RH_LOCAL_ADDR/32" dev "$RH_VETH_REMOTE" src "${RH_ADDR[busybox]}"
    saved=$DISPLAY_NUM
    DISPLAY_NUM=$wayland_num
    dialogue "${RH_ADDR[busybox]}" "$PASSWORD" XTerm x LC_ALL=C.UTF-8
    shown=$(DISPLAY=:$wayland_num xdotool search --class '^XTerm$' 2>/dev/null | head -n 1)
    check $([ "$STATUS" -eq 0 ] && [ -n "$shown" ]; echo $?) \
      "Xwayland :$wayland_num through the relay: the terminal shows there (status $STATUS)"
    reset_remote
    DOVREL_FLAGS=--untrusted failing_dialogue "${RH_ADDR[busybox]}" "$PASSWORD" "$wayland_num" x
    check $([ "$STATUS" -eq 1 ] && grep -qF "has no SECURITY extension" "$RH_WORK/dovrel.log" &&
      ! grep -q "typed:" "$RH_WORK/dovrel.log"; echo $?) \
      "Xwayland with --untrusted: says it has no SECURITY extension and stops, nothing typed (status $STATUS)"
    reset_remote
    DISPLAY_NUM=$saved
  else
    check 1 "weston started Xwayland ($(tail -n 3 "$RH_WORK/weston.log" | tr '\n' ' '))"
  fi
fi

echo "relay access: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
