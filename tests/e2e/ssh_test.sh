#!/usr/bin/env bash
# The ssh way in, against OpenSSH's own server in a network namespace and a
# real X server that takes no TCP, as today's desktops start theirs. The
# client side runs as a throw-away local account, since ssh finds ~/.ssh
# through the password database and not through $HOME.
#
#   ssh_test.sh DOVREL
#
# Needs root and network namespaces. Exit 77 (skipped) without them, except
# in CI, where it must run. Prints one line per check and a closing count.

set -uo pipefail

DOVREL=$1

skip_or_fail() {
  if [ -n "${CI:-}" ]; then
    echo "FAIL: cannot run in CI: $1"
    exit 1
  fi
  echo "SKIP: $1"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip_or_fail "needs root (network namespace, local users)"
for tool in ip ssh ssh-keygen setpriv xterm Xvfb xauth xdotool xdpyinfo useradd iptables strace; do
  command -v "$tool" >/dev/null || skip_or_fail "needs $tool (scripts/test installs it)"
done
[ -x /usr/sbin/sshd ] || skip_or_fail "needs openssh-server (scripts/test installs it)"

source "$(dirname "$0")/../../scripts/remote_host.sh"
source "$(dirname "$0")/launch_lib.sh"
remote_host_init dovrel-ssh ""
XVFB_PID=
NOSEC_PID=
LOCAL_USER=${RH_USER:0:26}local

cleanup() {
  for pid in $(pgrep -u "$LOCAL_USER" 2>/dev/null); do kill "$pid" 2>/dev/null; done
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  [ -n "$NOSEC_PID" ] && kill "$NOSEC_PID" 2>/dev/null
  [ -n "${BARE_PID:-}" ] && kill "$BARE_PID" 2>/dev/null
  id "$LOCAL_USER" >/dev/null 2>&1 && userdel "$LOCAL_USER" 2>/dev/null
  remote_host_cleanup
}
trap cleanup EXIT

remote_host_create || skip_or_fail "cannot create a network namespace or the remote user"
PASSWORD=Ssh-pass.7
remote_host_set_password "$PASSWORD"
start_private_xvfb "$RH_WORK" || exit 1
NUM=$DISPLAY_NUM
remote_host_start_sshd pw || exit 1
remote_host_start_sshd kbd $'KbdInteractiveAuthentication yes\nPasswordAuthentication no' || exit 1
remote_host_start_sshd nox11 'X11Forwarding no' || exit 1
remote_host_start_sshd noxauth 'XAuthLocation /nonexistent/xauth' || exit 1
remote_host_start_sshd fresh || exit 1
remote_host_start_sshd changed || exit 1
remote_host_start_sshd drop || exit 1
# A hostile host: a banner in ssh's words, and a command that says the
# terminal is missing, wrapped in controls, among words that are ssh's own.
cat >"$RH_WORK/fake-banner" <<'EOB'
@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@
@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @
@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@
Offending ED25519 key in /etc/passwd:1
Host key verification failed.
user@host: Permission denied (publickey).
EOB
cat >"$RH_WORK/hostile-command" <<'EOC'
#!/bin/sh
printf '\302\23331m\342\200\256\033]0;owned\007sh: 1: xterm: not found\n' >&2
echo "Password change required but no TTY available." >&2
echo "Login incorrect" >&2
exit 127
EOC
chmod 755 "$RH_WORK/hostile-command"
remote_host_start_sshd banner "Banner $RH_WORK/fake-banner" || exit 1
remote_host_start_sshd hostile "Banner $RH_WORK/fake-banner"$'\n'"ForceCommand $RH_WORK/hostile-command" || exit 1
# A destination whose keyboard-interactive prompt is ssh's host-key question.
remote_host_new_address asking
ssh-keygen -q -t ed25519 -N '' -f "$RH_WORK/asking-hostkey"
ip netns exec "$RH_NS" /usr/bin/python3 "$(dirname "$0")/hostile_ssh_server.py" "${RH_ADDR[asking]}" \
  "$RH_WORK/asking-hostkey" "$RH_WORK/asking-answers" >"$RH_WORK/asking.log" 2>&1 &
RH_PIDS+=($!)
remote_host_wait_listening "${RH_ADDR[asking]}" 22 || { echo "the asking server did not start"; cat "$RH_WORK/asking.log"; exit 1; }
# After its handshake, the drop host's link goes dead.
ip netns exec "$RH_NS" iptables -A INPUT -d "${RH_ADDR[drop]}" -p tcp --dport 22 -m conntrack --ctstate ESTABLISHED \
  -m length --length 100:65535 -j DROP || skip_or_fail "iptables cannot filter in the namespace"

# The local account: its known_hosts knows every host but "fresh", and has
# another key for "changed"; its authority file is a copy of the display's.
LOCAL_HOME=$RH_WORK/local
useradd -M -d "$LOCAL_HOME" -s /bin/sh "$LOCAL_USER" || exit 1
mkdir -p "$LOCAL_HOME/.ssh"
for name in pw kbd nox11 noxauth drop banner hostile asking; do
  echo "${RH_ADDR[$name]} $(cut -d' ' -f1,2 "$RH_WORK/$name-hostkey.pub")"
done >"$LOCAL_HOME/.ssh/known_hosts"
echo "${RH_ADDR[changed]} $(cut -d' ' -f1,2 "$RH_WORK/pw-hostkey.pub")" >>"$LOCAL_HOME/.ssh/known_hosts"
cp "$XAUTHORITY" "$LOCAL_HOME/.Xauthority"
chown -R "$LOCAL_USER:" "$LOCAL_HOME"
chmod 700 "$LOCAL_HOME/.ssh"
echo "$PASSWORD" >"$RH_WORK/password" && chmod 600 "$RH_WORK/password"

as_local() {
  # shellcheck disable=SC2086
  ${LAUNCH_WRAPPER:-} setpriv --reuid "$LOCAL_USER" --regid "$LOCAL_USER" --init-groups \
    env -i PATH=/usr/bin:/bin HOME="$LOCAL_HOME" USER="$LOCAL_USER" LC_ALL=C.UTF-8 DISPLAY=":$NUM" \
    XAUTHORITY="$LOCAL_HOME/.Xauthority" "$@"
}

# A new terminal window of class $1: not one that stood before the launch
# (the X server gives a new client the ids of one that has gone).
new_window() { xdotool search --onlyvisible --class "^$1\$" 2>/dev/null | grep -vxF -f "$RH_WORK/old-windows" | head -n 1; }

# Any process holding the password in its arguments or environment, read
# as root and as another account (nobody) would read them.
password_visible() {
  grep -laF -f "$RH_WORK/password" /proc/[0-9]*/cmdline /proc/[0-9]*/environ 2>/dev/null | grep -v "^/proc/$$/" |
    grep -q . && return 0
  setpriv --reuid nobody --regid nogroup --clear-groups sh -c 'cat /proc/[0-9]*/cmdline 2>/dev/null' |
    grep -qaF -f "$RH_WORK/password"
}

# One launch over ssh as a person makes it. Sets STATUS, WINDOW, ELAPSED (ms
# from Enter to the program's end) and BOX (whether a box came).
#   ssh_launch ADDRESS PASSWORD ACTION SWITCH [dovrel options...]
# ACTION: "-", "accept" or "cancel" (the host-key box), "escape@MS" (the
# form's Escape MS after Enter).
ssh_launch() {
  local address=$1 password=$2 action=$3 switch=$4
  shift 4
  # shellcheck disable=SC2086
  [ -z "${ENTER_ONLY:-}" ] && address=$RH_USER@$address
  as_local "$DOVREL" -v --ssh "$@" "$address" "$NUM" $switch >"$RH_WORK/dovrel.log" 2>&1 &
  local pid=$! form
  { xdotool search --onlyvisible --class . 2>/dev/null; echo none; } >"$RH_WORK/old-windows"
  WINDOW= BOX=
  if ! form=$(wait_window_named '^Dovrel$' 15); then STATUS=125; kill "$pid"; wait "$pid"; return; fi
  if [ -n "${ENTER_ONLY:-}" ]; then
    # The user name comes from ssh's configuration, while the form is up.
    sleep 1
  else
    # The user name came with the host (user@host): the password has the focus.
    [ -n "$password" ] && xdotool type --delay 10 "$password"
  fi
  local enter
  enter=$(now_ms)
  xdotool key Return
  local deadline=$((enter + 25000)) box
  while [ "$(now_ms)" -lt "$deadline" ] && kill -0 "$pid" 2>/dev/null; do
    password_visible && LEAKS=$((LEAKS + 1))
    WINDOW=$(new_window "${CLASS:-XTerm}")
    box=$(xdotool search --onlyvisible --name '^dovrel$' 2>/dev/null | grep -vx "$form" | head -n 1)
    if [ -n "$box" ] && [[ " $BOX " != *" $box "* ]]; then
      sleep 0.3
      # The first box gets the action; a box after it (the end's, after a
      # question) is dismissed.
      case ${BOX:+dismiss}$action in
        accept) xdotool key alt+c ;;
        xterm) xdotool key alt+s ;;
        cancel) xdotool key Escape ;;
        *) xdotool key Return ;;
      esac
      BOX+=" $box"
    fi
    # Traced, the program's end is not seen: strace waits for ssh too.
    [ -n "${LAUNCH_WRAPPER:-}" ] && [ -n "$WINDOW" ] && said 'the terminal has started' && { sleep 0.5; break; }
    if [[ $action == escape@* ]] && [ "$(now_ms)" -ge $((enter + ${action#escape@})) ]; then
      xdotool windowfocus "$form" key Escape 2>/dev/null
      action=-
    fi
    sleep 0.05
  done
  if [ -n "${LAUNCH_WRAPPER:-}" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid"
    STATUS=0
    said 'the terminal has started' || STATUS=1
  else
    wait_exit "$pid" 5
    STATUS=$?
  fi
  ELAPSED=$(($(now_ms) - enter))
  [ -z "$WINDOW" ] && WINDOW=$(new_window "${CLASS:-XTerm}")
  grep -qaF -f "$RH_WORK/password" "$RH_WORK/dovrel.log" && LEAKS=$((LEAKS + 1))
}

# Ends what the remote user left running, but the terminal of window $1 and
# the processes it runs under.
KEEP=
keep_descendants() {
  local child
  for child in $(pgrep -P "$1"); do KEEP+="$child "; keep_descendants "$child"; done
}
remote_host_kill_user_processes_but() {
  local pid top
  KEEP=" "
  top=$(xdotool getwindowpid "$1" 2>/dev/null)
  pid=$top
  while [ -n "$pid" ] && [ "$pid" -gt 1 ]; do
    KEEP+="$pid "
    pid=$(awk '{ print $4 }' "/proc/$pid/stat" 2>/dev/null)
  done
  [ -n "$top" ] && keep_descendants "$top"
  for pid in $(pgrep -u "$RH_USER"); do
    [[ $KEEP == *" $pid "* ]] || kill "$pid" 2>/dev/null
  done
  sleep 0.3
}

# Whether the local account's known_hosts holds host $1 (hashed or not).
recorded() { ssh-keygen -F "${RH_ADDR[$1]}" -f "$LOCAL_HOME/.ssh/known_hosts" >/dev/null; }
said() { grep -qaE -- "$1" "$RH_WORK/dovrel.log"; }
# The local account's ssh clients that still run (a zombie has ended: a
# container's first process may not reap what init would).
client_processes() { ps -u "$LOCAL_USER" -o stat=,comm= | awk '$1 !~ /^Z/ && $2 == "ssh"'; }
failed_passwords() { grep -c 'Failed password\|Failed keyboard-interactive\|PAM: Authentication failure' "$RH_WORK/$1.log"; }
logins() { grep -c 'Accepted password' "$RH_WORK/$1.log"; }

# The first launch, traced: nothing the program or its children write to
# a file holds the password.
LAUNCH_WRAPPER="strace -f -y -qq -e trace=openat,write -s 512 -o $RH_WORK/strace.log" \
  ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "password: the window came and the program ended with 0 ($ELAPSED ms)"
SURVIVOR=$WINDOW
grep -F -f "$RH_WORK/password" "$RH_WORK/strace.log" | grep -E 'write\([0-9]+</' |
  grep -vE '<(pipe|socket|UNIX|UNIX-STREAM):' >"$RH_WORK/leaked-writes"
check $(($(wc -l <"$RH_WORK/leaked-writes") != 0)) "password: written to no file (strace of the launch)"
check $((LEAKS != 0)) "password: in no process's arguments or environment, nor in the report"
rm -f "$RH_WORK/strace.log"
SURVIVOR_SINCE=$(now_ms)

# One cell per line: name, server, password (- for none), the box's action,
# dovrel's switch, the status, and what standard error says.
while IFS='|' read -r name server password action switch status words; do
  [ -z "$name" ] && continue
  [ "$password" = - ] && password= || password=$PASSWORD
  [[ $name == wrong* ]] && password=Not-it.1
  before=$(failed_passwords "$server")
  logins_before=$(logins "$server")
  CLASS=XTerm
  [ -z "$switch" ] && [ "$action" != xterm ] && CLASS=KTerm
  ssh_launch "${RH_ADDR[$server]}" "$password" "$action" "$switch"
  ok=$((STATUS != status))
  [ "$status" -eq 0 ] && [ -z "$WINDOW" ] && ok=1
  [ -n "$words" ] && ! said "$words" && ok=1
  check $ok "$name: status $STATUS (want $status)${words:+, says \"$words\"} ($ELAPSED ms)"
  case $name in
    wrong*)
      after=$(failed_passwords "$server")
      check $((after - before != 1)) "$name: one failed attempt in the server's log ($((after - before)))"
      [ $((after - before)) -ne 1 ] && grep -i 'fail\|auth' "$RH_WORK/$server.log" | tail -5 | sed 's/^/#   sshd: /'
      ;;
    missing-then-xterm)
      check $(($(failed_passwords "$server") - before != 0 || $(logins "$server") - logins_before != 2)) \
        "$name: two logins, no failed attempt ($(($(logins "$server") - logins_before)) logins)"
      ;;
    unknown-refused) ! recorded fresh; check $? "unknown-refused: the key is not recorded" ;;
    unknown-accepted) recorded fresh; check $? "unknown-accepted: the key is recorded" ;;
  esac
  remote_host_kill_user_processes_but "$SURVIVOR"
done <<'EOF'
keyboard|kbd|+|-|x|0|the terminal has started
wrong|pw|+|-|x|1|Login incorrect
wrong-keyboard|kbd|+|-|x|1|Login incorrect
missing|pw|+|-||1|kterm was not found
missing-then-xterm|pw|+|xterm||0|the terminal has started
x11-refused|nox11|+|-|x|1|refuses to forward X11
no-remote-xauth|noxauth|+|-|x|1|has no xauth program
unknown-refused|fresh|+|cancel|x|1|was not accepted
unknown-accepted|fresh|+|accept|x|0|the terminal has started
changed|changed|+|-|x|1|differs from the one ssh recorded
banner|banner|+|-|x|0|the terminal has started
hostile|hostile|+|-|x|1|xterm was not found
asking|asking|+|-|x|1|ssh asked a question the form cannot answer
EOF
! grep -q . "$RH_WORK/asking-answers" 2>/dev/null && ! said 'accepted the host key'
check $? "asking: the destination's question in ssh's words got no answer, and no host-key box"
# The host's controls reach neither standard error nor the report raw.
ssh_launch "${RH_ADDR[hostile]}" "$PASSWORD" - x
! grep -qaP '\x1b|\x07|\xc2\x9b|\xe2\x80\xae' "$RH_WORK/dovrel.log"
check $? "hostile: no control of the host's on standard error, with -v"
remote_host_kill_user_processes_but "$SURVIVOR"

# A password that must be changed first: its own cause, nothing typed on.
chage -d 0 "$RH_USER"
ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x
check $((STATUS != 1)) "expired password: status $STATUS (want 1)"
said 'wants your password changed'
check $? "expired password: says so"
chage -d "$(date +%Y-%m-%d)" "$RH_USER"

# Keys: one with no passphrase alone (an empty password), then one with a
# passphrase that ssh must skip, and the password.
as_local ssh-keygen -q -t ed25519 -N '' -f "$LOCAL_HOME/.ssh/id_ed25519"
cat "$LOCAL_HOME/.ssh/id_ed25519.pub" >"$RH_HOME/.ssh-authorized"
mkdir -p "$RH_HOME/.ssh" && cp "$RH_HOME/.ssh-authorized" "$RH_HOME/.ssh/authorized_keys" && chown -R "$RH_USER:" "$RH_HOME/.ssh"
ssh_launch "${RH_ADDR[pw]}" "" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "key, empty password: the window came ($ELAPSED ms)"
remote_host_kill_user_processes_but "$SURVIVOR"
# A host kept in the account's ssh configuration: its alias, the user it
# names, and nothing typed but Enter. The shell completes the alias.
printf 'Host savedhost\n  HostName %s\n  User %s\n' "${RH_ADDR[pw]}" "$RH_USER" >"$LOCAL_HOME/.ssh/config"
chown "$LOCAL_USER:" "$LOCAL_HOME/.ssh/config"
ENTER_ONLY=1 ssh_launch savedhost "" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "saved host, Enter alone: the window came ($ELAPSED ms)"
remote_host_kill_user_processes_but "$SURVIVOR"
COMPLETION=$(dirname "$0")/../../packaging/dovrel.bash-completion
completed=$(as_local bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"
  for word in "" me@sav; do
    COMP_WORDS=(dovrel --ssh "$word"); COMP_CWORD=2; COMP_LINE="dovrel --ssh $word"; COMP_POINT=${#COMP_LINE}
    _dovrel; echo "${COMPREPLY[*]}"
  done' - "$(realpath "$COMPLETION")" 2>&1)
[[ $completed == *savedhost*$'\n'*me@savedhost* ]]
check $? "bash completes dovrel --ssh <Tab> with the saved host, after user@ too (${completed//$'\n'/ | })"
rm -f "$LOCAL_HOME/.ssh/config"
rm -f "$LOCAL_HOME/.ssh/id_ed25519" "$LOCAL_HOME/.ssh/id_ed25519.pub" "$RH_HOME/.ssh/authorized_keys"
as_local ssh-keygen -q -t ed25519 -N 'Other-phrase.3' -f "$LOCAL_HOME/.ssh/id_ed25519"
ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "passphrase key skipped, password used: the window came ($ELAPSED ms)"
remote_host_kill_user_processes_but "$SURVIVOR"
rm -f "$LOCAL_HOME/.ssh/id_ed25519" "$LOCAL_HOME/.ssh/id_ed25519.pub"

# A user's configuration that shares connections: nothing stays behind.
printf 'Host *\n  ControlMaster auto\n  ControlPersist 60\n  ControlPath ~/.ssh/cm-%%C\n' >"$LOCAL_HOME/.ssh/config"
chown "$LOCAL_USER:" "$LOCAL_HOME/.ssh/config"
ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "ControlMaster auto: the window came"
remote_host_kill_user_processes_but "$SURVIVOR"
sleep 1
check $(($(client_processes | wc -l) > 1)) "ControlMaster auto: no ssh left but the first terminal's"
rm -f "$LOCAL_HOME/.ssh/config"

# A host that goes silent after the handshake, and the form's Escape.
ssh_launch "${RH_ADDR[drop]}" "$PASSWORD" - x
check $((STATUS != 1 || ELAPSED > 16000)) "silent host: ended with 1 within 15 s ($ELAPSED ms)"
ssh_launch "${RH_ADDR[drop]}" "$PASSWORD" escape@1500 x
check $((STATUS != 1 || ELAPSED > 2600)) "Escape while ssh connects: ended within a second ($ELAPSED ms)"
sleep 0.5
check $(($(client_processes | wc -l) > 1)) "Escape: no ssh of that launch left"

# --untrusted where the X server has no SECURITY extension.
NOSEC=$(free_display_number down)
Xvfb ":$NOSEC" -nolisten tcp -extension SECURITY >/dev/null 2>&1 &
NOSEC_PID=$!
sleep 1
MAIN_NUM=$NUM
NUM=$NOSEC
DISPLAY=:$NOSEC ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x --untrusted
NUM=$MAIN_NUM
check $((STATUS != 1)) "--untrusted without SECURITY: status $STATUS (want 1)"
said 'SECURITY extension'
check $? "--untrusted without SECURITY: says why"

# --untrusted on an X server that holds no abstract name: another account
# that tries to take the name while ssh's xauth runs gets nothing, and the
# window comes. The test account's XAuthLocation waits for the attempt.
BARE=$(free_display_number down)
Xvfb ":$BARE" -nolisten tcp -nolisten local >/dev/null 2>&1 &
BARE_PID=$!
sleep 1
as_local xauth add ":$BARE" . "$(mcookie)"
cat >"$RH_WORK/xauth-wrapper" <<EOW
#!/bin/sh
touch $RH_WORK/xauth-runs
for i in \$(seq 50); do [ -e $RH_WORK/attempt-done ] && break; sleep 0.1; done
exec /usr/bin/xauth "\$@"
EOW
chmod 755 "$RH_WORK/xauth-wrapper"
printf 'Host *\n  XAuthLocation %s\n' "$RH_WORK/xauth-wrapper" >"$LOCAL_HOME/.ssh/config"
chown "$LOCAL_USER:" "$LOCAL_HOME/.ssh/config"
chmod 777 "$RH_WORK"
setpriv --reuid nobody --regid nogroup --clear-groups /usr/bin/python3 - "$RH_WORK" "$BARE" <<'EOP' &
import os, socket, sys, time
work, number = sys.argv[1], sys.argv[2]
for _ in range(300):
    if os.path.exists(work + "/xauth-runs"):
        break
    time.sleep(0.05)
got = b""
taker = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
try:
    taker.bind("\0/tmp/.X11-unix/X" + number)
    taker.listen(4)
    taker.settimeout(3)
    connection, _ = taker.accept()
    connection.settimeout(2)
    got = connection.recv(4096)
    result = "took the name"
except OSError as error:
    result = "did not get the name: " + (error.strerror or str(error))
open(work + "/attempt", "w").write("%s; received %d bytes\n" % (result, len(got)))
open(work + "/attempt-done", "w").close()
EOP
ATTACKER=$!
MAIN_NUM=$NUM
NUM=$BARE
DISPLAY=:$BARE ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x --untrusted
NUM=$MAIN_NUM
wait "$ATTACKER"
echo "#   the other account: $(cat "$RH_WORK/attempt" 2>/dev/null)"
[ -e "$RH_WORK/xauth-runs" ] && grep -q 'received 0 bytes' "$RH_WORK/attempt" 2>/dev/null
check $? "--untrusted: another account that takes the abstract name while xauth runs gets no byte"
check $((STATUS != 0 || ${#WINDOW} == 0)) "--untrusted without an abstract name: the window came"
chmod 755 "$RH_WORK"
rm -f "$LOCAL_HOME/.ssh/config"
remote_host_kill_user_processes_but "$SURVIVOR"
kill "$BARE_PID" 2>/dev/null

# With no XDG_RUNTIME_DIR, another account made /tmp/dovrel-<uid> first:
# the launch goes on with a fresh private directory.
LOCAL_UID=$(id -u "$LOCAL_USER")
rm -rf "/tmp/dovrel-$LOCAL_UID"
setpriv --reuid nobody --regid nogroup --clear-groups mkdir -m 777 "/tmp/dovrel-$LOCAL_UID"
ssh_launch "${RH_ADDR[pw]}" "$PASSWORD" - x
check $((STATUS != 0 || ${#WINDOW} == 0)) "/tmp/dovrel-<uid> made by another account: the window came"
rm -rf "/tmp/dovrel-$LOCAL_UID"
remote_host_kill_user_processes_but "$SURVIVOR"

# The first terminal outlived its program and still takes input; once it
# exits, its ssh goes too.
while [ $(($(now_ms) - SURVIVOR_SINCE)) -lt 30000 ]; do sleep 0.5; done
xdotool windowfocus --sync "$SURVIVOR" 2>/dev/null
xdotool type --delay 20 "touch alive-after-30s; exit"
xdotool key Return
sleep 1.5
[ -e "$RH_HOME/alive-after-30s" ]
check $? "30 s after the program's end, its terminal took input"
check $(($(client_processes | wc -l) != 0)) "after the terminal exited, no ssh of the launch is left"
pgrep -a -u "$LOCAL_USER" | sed 's/^/#   left: /'

echo "ssh: $passed passed, $failed failed, password leaks: $LEAKS"
[ "$failed" -eq 0 ] && [ "$LEAKS" -eq 0 ]
