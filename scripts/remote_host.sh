# A throw-away "remote host" for the end-to-end test and the demo: a network
# namespace behind a veth pair, a local user whose home lives in a temporary
# folder, and real telnet servers on port 23 inside the namespace, logging in
# through /bin/login. Sourced, not run; needs root.
#
#   remote_host_init PREFIX SERVERS_DIR   names and addresses (RH_* variables)
#   remote_host_create                     the namespace and the user
#   remote_host_start NAME [KIND [LOGIN]]  a server on an address of its own:
#                                          KIND busybox, busybox-K (closes when
#                                          the shell exits) or inetutils (NAME
#                                          by default); LOGIN /bin/login or
#                                          busybox (busybox's own login)
#   remote_host_etc FILE                   prints the path of the host's own
#                                          copy of /etc/FILE, for servers
#                                          started after it is written, and
#   remote_host_etc_retire FILE            puts it away again
#   remote_host_delay NAME SERVER MS[:J] [X]  NAME: SERVER behind a link
#                                          that delays each way by MS/2 (give
#                                          or take J/2 at random); with X
#                                          (a display number) a relay for the
#                                          X11 traffic too, which
#   remote_host_route_x NAME add|delete    turns on and off
#   remote_host_loss NAME PERCENT add|delete  drops packets of NAME's address
#                                          (and of X11 traffic to this
#                                          machine) at random
#   remote_host_cleanup                    removes all of it again

DOVREL_ROOT=${DOVREL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

remote_host_init() {
  local prefix=$1
  RH_SERVERS=$2
  RH_ID=$$
  local net=$((RH_ID % 200 + 20))
  RH_NS=$prefix-$RH_ID
  RH_VETH_HOST=dvh$RH_ID
  RH_VETH_REMOTE=dvr$RH_ID
  RH_LOCAL_ADDR=10.200.$net.1
  RH_NET=10.200.$net
  RH_NEXT_HOST=2
  declare -gA RH_ADDR=() RH_X_PORT=()
  RH_USER=dv${prefix//[^a-z]/}$RH_ID
  RH_USER=${RH_USER:0:31}
  RH_WORK=$(mktemp -d "/tmp/$prefix.XXXXXX")
  chmod 755 "$RH_WORK"   # the remote user must reach its home inside
  RH_HOME=$RH_WORK/home
  RH_PIDS=()
}

remote_host_create() {
  ip netns add "$RH_NS" || return 1
  ip link add "$RH_VETH_HOST" type veth peer name "$RH_VETH_REMOTE"
  ip link set "$RH_VETH_REMOTE" netns "$RH_NS"
  ip addr add "$RH_LOCAL_ADDR/24" dev "$RH_VETH_HOST"
  ip link set "$RH_VETH_HOST" up
  ip -n "$RH_NS" link set "$RH_VETH_REMOTE" up
  ip -n "$RH_NS" link set lo up

  # The user, with the start-up files a user of each shell has: zsh without
  # any asks new-user questions that swallow typed input.
  useradd -M -d "$RH_HOME" -s /bin/bash "$RH_USER" || return 1
  mkdir -p "$RH_HOME/bin"
  cp -r /etc/skel/. "$RH_HOME/"
  : >"$RH_HOME/.zshrc"
  cat >"$RH_HOME/bin/kterm" <<'EOS'
#!/bin/sh
# Stands in for kterm, which Debian does not package.
echo "$@" >"$HOME/kterm-arguments"
exec xterm -class KTerm "$@"
EOS
  chmod 755 "$RH_HOME/bin/kterm"
  # bash and dash find ~/bin through .profile; tcsh and zsh need telling.
  echo 'set path = ($HOME/bin $path)' >"$RH_HOME/.cshrc"
  echo 'path=($HOME/bin $path)' >"$RH_HOME/.zshenv"
  touch "$RH_HOME/.Xauthority"
  chown -R "$RH_USER:" "$RH_HOME"
}

# SHA-512, which busybox's login can check as well as /bin/login.
remote_host_set_password() { printf '%s:%s\n' "$RH_USER" "$1" | chpasswd -c SHA512; }
# A shell by name, or by path; "ash" is busybox's.
remote_host_set_shell() {
  local shell=$1
  if [ "$shell" = ash ]; then
    ln -sf "$RH_SERVERS/bin/busybox" "$RH_WORK/ash"
    shell=$RH_WORK/ash
  fi
  usermod -s "$(command -v "$shell")" "$RH_USER" 2>/dev/null
}

# Lets the remote user open display number $2 of this machine with cookie $1.
remote_host_grant_display() {
  xauth -q -f "$RH_HOME/.Xauthority" add "$RH_LOCAL_ADDR:$2" . "$1"
  chown "$RH_USER:" "$RH_HOME/.Xauthority"
}

# Starts a server with a clean environment: /bin/login -p passes it on, and an
# inherited XAUTHORITY would keep the remote terminal from its display.
remote_host_start() {
  local name=$1 kind=${2:-$1} login=${3:-/bin/login}
  local clean=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin)
  remote_host_new_address "$name"
  local address=${RH_ADDR[$name]}
  if [ "$login" = busybox ]; then
    # busybox's login is the applet reached through a link named login.
    mkdir -p "$RH_WORK/busybox-login"
    ln -sf "$RH_SERVERS/bin/busybox" "$RH_WORK/busybox-login/login"
    login=$RH_WORK/busybox-login/login
  fi
  case $kind in
    busybox|busybox-K)
      # Without -K, as a common set-up: the connection stays open while the
      # remote terminal runs.
      local close=()
      [ "$kind" = busybox-K ] && close=(-K)
      ip netns exec "$RH_NS" "${clean[@]}" "$RH_SERVERS/bin/busybox" telnetd -F "${close[@]}" \
        -b "$address:23" -l "$login" >"$RH_WORK/$name.log" 2>&1 &
      ;;
    inetutils)
      local exec=$RH_SERVERS/usr/sbin/telnetd
      [ "$login" != /bin/login ] && exec="$exec -E $login"
      ip netns exec "$RH_NS" "${clean[@]}" socat "TCP-LISTEN:23,bind=$address,reuseaddr,fork" \
        "EXEC:$exec,nofork" >"$RH_WORK/$name.log" 2>&1 &
      ;;
  esac
  RH_PIDS+=($!)
  remote_host_wait_listening "$address" 23 || { echo "the $name server did not start"; return 1; }
}

# Starts OpenSSH's server for NAME on an address of its own, port 22, with
# a host key of its own (RH_WORK/NAME-hostkey) and the lines of $2 added to
# (and taking the place of) its configuration.
remote_host_start_sshd() {
  local name=$1 extra=${2:-}
  remote_host_new_address "$name"
  local address=${RH_ADDR[$name]}
  [ -f "$RH_WORK/$name-hostkey" ] || ssh-keygen -q -t ed25519 -N '' -f "$RH_WORK/$name-hostkey"
  # The first setting of a keyword wins: the added lines come first.
  {
    printf '%s\n' "$extra"
    cat <<EOC
ListenAddress $address
Port 22
HostKey $RH_WORK/$name-hostkey
UsePAM yes
PasswordAuthentication yes
KbdInteractiveAuthentication no
PubkeyAuthentication yes
StrictModes no
X11Forwarding yes
X11UseLocalhost yes
XAuthLocation /usr/bin/xauth
PidFile none
EOC
  } >"$RH_WORK/$name-sshd_config"
  mkdir -p /run/sshd
  ip netns exec "$RH_NS" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin /usr/sbin/sshd -D -e \
    -f "$RH_WORK/$name-sshd_config" >"$RH_WORK/$name.log" 2>&1 &
  RH_PIDS+=($!)
  remote_host_wait_listening "$address" 22 || { echo "the $name ssh server did not start"; cat "$RH_WORK/$name.log"; return 1; }
}

# A new address of the remote host for NAME, in RH_ADDR.
remote_host_new_address() {
  RH_ADDR[$1]=$RH_NET.$RH_NEXT_HOST
  RH_NEXT_HOST=$((RH_NEXT_HOST + 1))
  ip -n "$RH_NS" addr add "${RH_ADDR[$1]}/24" dev "$RH_VETH_REMOTE"
}

remote_host_wait_listening() {
  local _
  for _ in $(seq 50); do
    ip netns exec "$RH_NS" ss -ltn "sport = :$2" 2>/dev/null | grep -q "$1:$2" && return 0
    sleep 0.1
  done
  return 1
}

remote_host_etc() {
  mkdir -p "/etc/netns/$RH_NS/$(dirname "$1")"
  echo "/etc/netns/$RH_NS/$1"
}

# Servers started from now on see /etc/FILE again. Those that see the host's
# copy keep it: it is moved aside on the same file system, not removed.
remote_host_etc_retire() {
  mv "/etc/netns/$RH_NS/$1" "/etc/netns/$RH_NS.retired.$RANDOM"
}

# A server behind a slow link: a relay in the namespace that holds every
# chunk for half the round trip before passing it on, both ways. With X, the
# terminal's connections to this machine's X server take the same road.
remote_host_delay() {
  local name=$1 server=$2 ms=$3 x=${4:-}
  remote_host_new_address "$name"
  local address=${RH_ADDR[$name]}
  local relay=(ip netns exec "$RH_NS" python3 "$DOVREL_ROOT/tests/e2e/delay_relay.py" "$ms")
  "${relay[@]}" "$address:23" "${RH_ADDR[$server]}:23" >"$RH_WORK/$name.log" 2>&1 &
  RH_PIDS+=($!)
  remote_host_wait_listening "$address" 23 || return 1
  if [ -n "$x" ]; then
    local port=$((6000 + x))
    "${relay[@]}" "$address:$port" "$RH_LOCAL_ADDR:$port" >>"$RH_WORK/$name.log" 2>&1 &
    RH_PIDS+=($!)
    remote_host_wait_listening "$address" "$port" || return 1
    RH_X_PORT[$name]=$port
  fi
}

# While on, every X11 connection of the remote host to this machine's display
# takes the slow link of NAME: the host's terminals all share one source
# address, so the rule cannot tell the servers apart.
remote_host_loss() {
  local name=$1 probability action=-A
  probability=$(awk "BEGIN { print $2 / 100 }")
  [ "$3" = delete ] && action=-D
  local drop=(-m statistic --mode random --probability "$probability" -j DROP)
  local rule
  for rule in "INPUT -d ${RH_ADDR[$name]}" "OUTPUT -s ${RH_ADDR[$name]}" \
    "OUTPUT -d $RH_LOCAL_ADDR -p tcp --dport $((6000 + DISPLAY_NUM))" \
    "INPUT -s $RH_LOCAL_ADDR -p tcp --sport $((6000 + DISPLAY_NUM))"; do
    # shellcheck disable=SC2086
    ip netns exec "$RH_NS" iptables "$action" $rule "${drop[@]}"
  done
}

remote_host_route_x() {
  local name=$1 port=${RH_X_PORT[$1]}
  local action=-A
  [ "$2" = delete ] && action=-D
  ip netns exec "$RH_NS" iptables -t nat "$action" OUTPUT ! -s "${RH_ADDR[$name]}" -d "$RH_LOCAL_ADDR" \
    -p tcp --dport "$port" -j DNAT --to-destination "${RH_ADDR[$name]}:$port"
}

# The remote user's processes were started by this host's servers; they are
# ended by their PIDs.
remote_host_kill_user_processes() {
  id "$RH_USER" >/dev/null 2>&1 || return 0
  local pids _
  for _ in 1 2 3 4 5; do
    pids=$(pgrep -u "$RH_USER")
    [ -z "$pids" ] && return 0
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null
    sleep 0.2
  done
  # shellcheck disable=SC2086
  kill -9 $pids 2>/dev/null
}

remote_host_cleanup() {
  local pid
  # The relays are started through ip netns exec: end them by the PIDs that
  # the namespace holds (processes of this test only).
  for pid in $(ip netns pids "$RH_NS" 2>/dev/null); do kill "$pid" 2>/dev/null; done
  for pid in "${RH_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  remote_host_kill_user_processes
  for pid in "${RH_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  ip netns del "$RH_NS" 2>/dev/null
  rm -rf "/etc/netns/$RH_NS" "/etc/netns/$RH_NS".retired.*
  ip link del "$RH_VETH_HOST" 2>/dev/null
  id "$RH_USER" >/dev/null 2>&1 && userdel "$RH_USER" 2>/dev/null
  rm -rf "$RH_WORK"
}

# Prints a free display number from 1 to 9: the lowest, or with "down" the
# highest.
free_display_number() {
  local n order=(1 2 3 4 5 6 7 8 9)
  [ "${1:-up}" = down ] && order=(9 8 7 6 5 4 3 2 1)
  for n in "${order[@]}"; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then echo "$n"; return 0; fi
  done
  echo "no free X display number" >&2
  return 1
}

# Starts Xvfb on display $1 with a fresh MIT cookie, in $2-server.auth for
# the server and $2-client.auth for this machine's clients, and the TCP
# option $3 (-listen tcp or -nolisten tcp); waits until it answers. Sets
# STARTED_XVFB_PID and STARTED_COOKIE.
start_cookie_xvfb() {
  local number=$1 auth=$2 tcp=$3 _
  STARTED_COOKIE=$(mcookie)
  touch "$auth-server.auth" "$auth-client.auth"
  xauth -q -f "$auth-server.auth" add ":$number" . "$STARTED_COOKIE"
  xauth -q -f "$auth-client.auth" add ":$number" . "$STARTED_COOKIE"
  # shellcheck disable=SC2086
  Xvfb ":$number" $tcp -noreset -auth "$auth-server.auth" -screen 0 1280x1024x24 >"$auth-xvfb.log" 2>&1 &
  STARTED_XVFB_PID=$!
  for _ in $(seq 50); do
    DISPLAY=:$number XAUTHORITY=$auth-client.auth xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb :$number did not start"
  cat "$auth-xvfb.log"
  return 1
}

# A private Xvfb on a free one-digit display, listening on TCP, with a fresh
# MIT cookie and no -ac. Sets XVFB_PID, DISPLAY_NUM, COOKIE and exports
# DISPLAY and XAUTHORITY for this machine's own clients.
start_private_xvfb() {
  DISPLAY_NUM=$(free_display_number) || return 1
  start_cookie_xvfb "$DISPLAY_NUM" "$1/main" "-listen tcp" || return 1
  XVFB_PID=$STARTED_XVFB_PID
  COOKIE=$STARTED_COOKIE
  export DISPLAY=:$DISPLAY_NUM XAUTHORITY=$1/main-client.auth
}

# A second private Xvfb as today's desktops start theirs: no TCP, a cookie
# file of this machine's user; the remote user has no cookie for it. Sets
# RELAY_XVFB_PID, RELAY_NUM and RELAY_AUTH.
start_relay_xvfb() {
  RELAY_NUM=$(free_display_number down) || return 1
  start_cookie_xvfb "$RELAY_NUM" "$1/relay" "-nolisten tcp" || return 1
  RELAY_XVFB_PID=$STARTED_XVFB_PID
  RELAY_AUTH=$1/relay-client.auth
}


# Sends the form, xdotool and the checks to the relay display (with the
# authority file $2, default RELAY_AUTH), and makes the host connect to this
# machine from server $1's own address: the servers share one namespace, and
# the relay lets in only the address the telnet connection came from, as a
# single-homed host has it.
use_relay_display() {
  MAIN_DISPLAY_NUM=${MAIN_DISPLAY_NUM:-$DISPLAY_NUM}
  MAIN_XAUTHORITY=${MAIN_XAUTHORITY:-$XAUTHORITY}
  DISPLAY_NUM=$RELAY_NUM
  export DISPLAY=:$RELAY_NUM XAUTHORITY=${2:-$RELAY_AUTH}
  ip -n "$RH_NS" route replace "$RH_LOCAL_ADDR/32" dev "$RH_VETH_REMOTE" src "${RH_ADDR[$1]}"
}

use_main_display() {
  DISPLAY_NUM=${MAIN_DISPLAY_NUM:-$DISPLAY_NUM}
  export DISPLAY=:$DISPLAY_NUM XAUTHORITY=${MAIN_XAUTHORITY:-$XAUTHORITY}
  ip -n "$RH_NS" route del "$RH_LOCAL_ADDR/32" 2>/dev/null
  return 0
}
