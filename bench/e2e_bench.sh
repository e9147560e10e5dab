#!/usr/bin/env bash
# End to end: from Enter in the form to the remote terminal's window being
# mapped, against busybox telnetd and inetutils telnetd (with /bin/login) in a
# network namespace; and from exec to the window for `ssh -X` starting xterm
# on the same host (OpenSSH server in the namespace, key login), the
# transport a user would pick instead; and dovrel through its relay, to an X
# server without TCP. Needs root.
#   e2e_bench.sh RUNS BUILD_DIR SERVERS_DIR
set -uo pipefail
runs=$1
build=$2
source "$(dirname "$0")/../scripts/remote_host.sh"
remote_host_init dovrel-bench "$3"
XVFB_PID=
RELAY_XVFB_PID=
SSHD_PID=
LOCAL_USER=
cleanup() {
  if [ -n "$LOCAL_USER" ]; then
    for pid in $(pgrep -u "$LOCAL_USER"); do kill "$pid"; done
    userdel "$LOCAL_USER"
  fi 2>/dev/null
  [ -n "$RELAY_XVFB_PID" ] && kill "$RELAY_XVFB_PID" 2>/dev/null
  [ -n "$SSHD_PID" ] && kill "$SSHD_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  remote_host_cleanup
}
trap cleanup EXIT
remote_host_create >/dev/null || exit 1
# After each login run, the remote user's processes (its terminal) end: a
# relay admits at most 16 connections at once, and twenty terminals left
# open would reach that.
cat >"$RH_WORK/after-run" <<EOS
#!/bin/sh
for pid in \$(pgrep -u "$RH_USER"); do kill "\$pid" 2>/dev/null; done
sleep 0.5
EOS
chmod 755 "$RH_WORK/after-run"
export BENCH_AFTER_RUN=$RH_WORK/after-run
# Each relayed run starts a relay of its own, which ends with its terminal
# rather than two minutes later: no run joins the relay of the one before,
# and none is left behind for the tests that follow.
export DOVREL_RELAY_LATE_GRACE_MS=0
start_private_xvfb "$RH_WORK" >/dev/null || exit 1
password=bench-$RANDOM-pw
remote_host_set_password "$password"
remote_host_grant_display "$COOKIE" "$DISPLAY_NUM"
remote_host_start busybox >/dev/null && remote_host_start inetutils >/dev/null || exit 1

for server in busybox inetutils; do
  BENCH_USER=$RH_USER BENCH_PASSWORD=$password "$build/bench/map_timer" --login "$runs" \
    "end to end dovrel, $server telnetd" "$build/app/dovrel" -v "${RH_ADDR[$server]}" "$DISPLAY_NUM" x
  remote_host_kill_user_processes
done

# The same through the relay, to an X server without TCP, with the launch's
# cookie installed by the host's xauth first.
start_relay_xvfb "$RH_WORK" >/dev/null || exit 1
for server in busybox inetutils; do
  use_relay_display "$server"
  BENCH_USER=$RH_USER BENCH_PASSWORD=$password "$build/bench/map_timer" --login "$runs" \
    "end to end dovrel via the relay, $server telnetd" "$build/app/dovrel" -v "${RH_ADDR[$server]}" "$RELAY_NUM" x
  remote_host_kill_user_processes
  use_main_display
done

# OpenSSH in the namespace, with a key login for the remote user.
ssh-keygen -q -t ed25519 -N '' -f "$RH_WORK/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$RH_WORK/user_key"
install -d -m 700 -o "$RH_USER" "$RH_HOME/.ssh"
install -m 600 -o "$RH_USER" "$RH_WORK/user_key.pub" "$RH_HOME/.ssh/authorized_keys"
mkdir -p /run/sshd
ip netns exec "$RH_NS" /usr/sbin/sshd -D -p 22 -o "ListenAddress=${RH_ADDR[busybox]}" \
  -h "$RH_WORK/host_key" -o X11Forwarding=yes -o X11UseLocalhost=yes -o UsePAM=no \
  -o PasswordAuthentication=no -o "PidFile=$RH_WORK/sshd.pid" >"$RH_WORK/sshd.log" 2>&1 &
SSHD_PID=$!
sleep 0.5
"$build/bench/map_timer" "$runs" "end to end ssh -X, xterm" ssh -X -i "$RH_WORK/user_key" \
  -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR \
  "$RH_USER@${RH_ADDR[busybox]}" xterm -geometry 80x25+0+0 | grep -v "peak resident"

# dovrel --ssh against ssh -X alone, the same key for both, as a local
# account of its own: ssh finds ~/.ssh through the account, not $HOME.
LOCAL_USER=${RH_USER:0:26}bench
useradd -M -d "$RH_WORK/local" -s /bin/sh "$LOCAL_USER" || exit 1
install -d -m 700 -o "$LOCAL_USER" "$RH_WORK/local" "$RH_WORK/local/.ssh"
install -m 600 -o "$LOCAL_USER" "$RH_WORK/user_key" "$RH_WORK/local/.ssh/id_ed25519"
echo "${RH_ADDR[busybox]} $(cut -d' ' -f1,2 "$RH_WORK/host_key.pub")" >"$RH_WORK/local/.ssh/known_hosts"
install -m 600 -o "$LOCAL_USER" "$XAUTHORITY" "$RH_WORK/local/.Xauthority"
chown "$LOCAL_USER:" "$RH_WORK/local/.ssh/known_hosts"
as_local=(setpriv --reuid "$LOCAL_USER" --regid "$LOCAL_USER" --init-groups env -i PATH=/usr/bin:/bin
  HOME="$RH_WORK/local" DISPLAY=":$DISPLAY_NUM" XAUTHORITY="$RH_WORK/local/.Xauthority")
# The host kept in the account's configuration, with its user: Enter alone.
printf 'Host benchhost\n  HostName %s\n  User %s\n' "${RH_ADDR[busybox]}" "$RH_USER" >"$RH_WORK/local/.ssh/config"
chown "$LOCAL_USER:" "$RH_WORK/local/.ssh/config"
BENCH_USER= BENCH_PASSWORD= "$build/bench/map_timer" --login "$runs" \
  "end to end dovrel --ssh, key" "${as_local[@]}" "$build/app/dovrel" -v --ssh benchhost "$DISPLAY_NUM" x
remote_host_kill_user_processes
"$build/bench/map_timer" "$runs" "end to end ssh -X, the same key and account" "${as_local[@]}" \
  ssh -X -o LogLevel=ERROR -l "$RH_USER" "${RH_ADDR[busybox]}" xterm -geometry 80x25+0+0 | grep -v "peak resident"
remote_host_kill_user_processes
