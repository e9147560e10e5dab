#!/usr/bin/env bash
# Launches on many kinds of real hosts: two telnet servers, two login
# programs, the common login shells and their themed prompts, noisy and slow
# start-up files, banners, long messages of the day, odd passwords, slow,
# jittery and lossy links, busy cores, and displays that take no TCP
# connections (served through the relay). One line per cell, then a summary;
# any lost launch fails.
#
#   interop_matrix.sh DOVREL [ci|full]
#
# ci: one launch per cell of the cells marked for CI; full: every cell, as
# many launches as it asks. DOVREL_MATRIX_CELLS="cell ..." picks cells.
# Needs root and network namespaces (exit 77 without them, except in CI).
# Removes everything it created.

set -uo pipefail

DOVREL=$1
MODE=${2:-ci}
SERVERS=${DOVREL_E2E_SERVERS:-$(cd "$(dirname "$0")/../.." && pwd)/build/e2e-servers}

skip_or_fail() {
  if [ -n "${CI:-}" ]; then echo "FAIL: cannot run in CI: $1"; exit 1; fi
  echo "SKIP: $1"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip_or_fail "needs root (network namespace, port 23, a local user)"
for tool in ip iptables python3 socat xterm Xvfb xdotool xmodmap zsh tcsh mksh ksh93 fish bsd-csh; do
  command -v "$tool" >/dev/null || skip_or_fail "needs $tool (scripts/test installs it)"
done

source "$(dirname "$0")/../../scripts/remote_host.sh"
source "$(dirname "$0")/launch_lib.sh"
remote_host_init dovrel-io "$SERVERS"
XVFB_PID=
RELAY_XVFB_PID=
LOAD_PIDS=()
cleanup() {
  local pid
  for pid in "${LOAD_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  [ -n "$RELAY_XVFB_PID" ] && kill "$RELAY_XVFB_PID" 2>/dev/null && wait "$RELAY_XVFB_PID" 2>/dev/null
  remote_host_cleanup
}
trap cleanup EXIT
trap 'exit 1' INT TERM

remote_host_create || skip_or_fail "cannot create a network namespace and a user"
start_private_xvfb "$RH_WORK" || { echo "FAIL: no X server"; exit 1; }
remote_host_grant_display "$COOKIE" "$DISPLAY_NUM"
start_relay_xvfb "$RH_WORK" || { echo "FAIL: no X server without TCP"; exit 1; }

# ------------------------------------------------------------ the hosts ---

remote_host_start bb busybox && remote_host_start bb-bblogin busybox busybox &&
  remote_host_start iu inetutils && remote_host_start iu-bblogin inetutils busybox || exit 1
# A banner that says "login:" and a long message of the day.
printf 'NOTICE: to login: use your staff account\n' >"$(remote_host_etc issue.net)"
cp "$(remote_host_etc issue.net)" "$(remote_host_etc issue)"
for line in $(seq 60); do echo "Message of the day, line $line: be kind to the shared machines."; done \
  >"$(remote_host_etc motd)"
remote_host_start bb-banner busybox && remote_host_start iu-banner inetutils &&
  remote_host_start bb-bblogin-banner busybox busybox || exit 1
for file in issue.net issue motd; do remote_host_etc_retire "$file"; done
# Links: a slow one, a jittery one, a lossy one, a slow and lossy one.
remote_host_delay rtt200 iu 200 "$DISPLAY_NUM" && remote_host_delay jitter bb 150:150 &&
  remote_host_delay rtt300 bb 300 || exit 1
remote_host_start loss2 busybox && remote_host_start loss10 inetutils || exit 1

# ------------------------------------------------- start-up files, shells ---

# Prompts and start-up files, written for the shell each cell logs in with.
write_startup() {
  local variant=$1
  cp /etc/skel/.bashrc "$RH_HOME/.bashrc"
  : >"$RH_HOME/.zshrc"
  rm -rf "$RH_HOME/.config/fish"
  case $variant in
    plain) ;;
    colour) echo "PS1='\\[\\e[1;32m\\]\\u@\\h\\[\\e[0m\\]:\\[\\e[1;34m\\]\\w\\[\\e[0m\\]\\$ '" >>"$RH_HOME/.bashrc" ;;
    two-line) echo "PS1='\\u@\\h \\w\\n\\$ '" >>"$RH_HOME/.bashrc" ;;
    title) echo "PS1='\\[\\e]0;\\u@\\h: \\w\\a\\]\\u@\\h:\\w\\$ '" >>"$RH_HOME/.bashrc" ;;
    arrow) echo "PS1='\\u ~ ❯ '" >>"$RH_HOME/.bashrc" ;;
    noisy) printf 'echo "Welcome, $USER."\nuptime\necho "Disk quota: fine."\n' >>"$RH_HOME/.bashrc" ;;
    sleepy) echo 'sleep 2' >>"$RH_HOME/.bashrc" ;;
    fake-prompt) printf "printf 'Loading \$ '\nsleep 0.3\necho ' done'\nprintf 'Checking > '\nsleep 0.3\necho ' ok'\n" \
      >>"$RH_HOME/.bashrc" ;;
    # A themed prompt comes with a UTF-8 locale: zsh draws ❯ as ? without.
    zsh-themed) printf "export LANG=C.UTF-8\nPROMPT='%%F{cyan}%%n%%f %%~ %%F{magenta}❯%%f '\n" >"$RH_HOME/.zshrc" ;;
    zsh-rprompt) printf "export TERM=xterm-256color\nPROMPT='%%n@%%m %%~ %%# '\nRPROMPT='[%%T]'\n" >"$RH_HOME/.zshrc" ;;
  esac
  chown -R "$RH_USER:" "$RH_HOME"
}

# Busy cores: one spinning process per core while the cell runs.
load() {
  if [ "$1" = on ]; then
    local _
    for _ in $(seq "$(nproc)"); do
      sh -c 'while :; do :; done' &
      LOAD_PIDS+=($!)
    done
  else
    local pid
    for pid in "${LOAD_PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    LOAD_PIDS=()
  fi
}

# ------------------------------------------------------------ the cells ---

# cell                server             shell  start-up     password  link       load x     ci runs
CELLS="
bb-bash               bb                 bash   plain        plain     -          -    tcp   y  3
iu-bash               iu                 bash   plain        plain     -          -    tcp   y  3
bb-bblogin-bash       bb-bblogin         bash   plain        plain     -          -    tcp   y  3
iu-bblogin-bash       iu-bblogin         bash   plain        plain     -          -    tcp   y  3
bb-colour             bb                 bash   colour       plain     -          -    tcp   -  3
iu-two-line           iu                 bash   two-line     plain     -          -    tcp   -  3
bb-title              bb                 bash   title        plain     -          -    tcp   -  3
iu-arrow              iu                 bash   arrow        plain     -          -    tcp   y  3
bb-bblogin-arrow      bb-bblogin         bash   arrow        plain     -          -    tcp   -  3
bb-dash               bb                 dash   plain        plain     -          -    tcp   -  3
iu-zsh-themed         iu                 zsh    zsh-themed   plain     -          -    tcp   -  3
bb-zsh-rprompt        bb                 zsh    zsh-rprompt  plain     -          -    tcp   y  3
iu-bblogin-zsh        iu-bblogin         zsh    zsh-rprompt  plain     -          -    tcp   -  3
iu-tcsh               iu                 tcsh   plain        plain     -          -    tcp   -  3
bb-csh                bb                 bsd-csh plain       plain     -          -    tcp   -  3
iu-mksh               iu                 mksh   plain        plain     -          -    tcp   -  3
bb-ksh93              bb                 ksh93  plain        plain     -          -    tcp   -  3
iu-fish               iu                 fish   plain        plain     -          -    tcp   y  3
bb-bblogin-fish       bb-bblogin         fish   plain        plain     -          -    tcp   -  3
bb-ash                bb                 ash    plain        plain     -          -    tcp   -  3
iu-bblogin-ash        iu-bblogin         ash    plain        plain     -          -    tcp   -  3
iu-noisy              iu                 bash   noisy        plain     -          -    tcp   -  3
bb-sleepy             bb                 bash   sleepy       plain     -          -    tcp   y  3
iu-fake-prompt        iu                 bash   fake-prompt  plain     -          -    tcp   y  3
bb-bblogin-fake       bb-bblogin         bash   fake-prompt  plain     -          -    tcp   -  3
bb-banner-motd        bb-banner          bash   plain        plain     -          -    tcp   y  3
iu-banner-motd        iu-banner          bash   plain        plain     -          -    tcp   y  3
bb-bblogin-banner     bb-bblogin-banner  bash   plain        plain     -          -    tcp   y  3
iu-odd-password       iu                 bash   plain        odd       -          -    tcp   y  3
bb-bblogin-odd        bb-bblogin         dash   plain        odd       -          -    tcp   -  3
iu-rtt200             rtt200             bash   plain        plain     -          -    tcp   y  3
bb-jitter             jitter             zsh    zsh-rprompt  plain     -          -    tcp   -  3
bb-rtt300-loss1       rtt300             bash   plain        plain     loss:1     -    tcp   -  3
bb-loss2              loss2              bash   plain        plain     loss:2     -    tcp   y  5
iu-loss10             loss10             bash   plain        plain     loss:10    -    tcp   -  5
bb-busy               bb                 bash   arrow        plain     -          on   tcp   y  3
iu-busy-fish          iu                 fish   plain        plain     -          on   tcp   -  3
iu-rtt200-x11         rtt200             dash   plain        plain     x11        -    tcp   -  1
bb-100-in-a-row       bb                 bash   plain        plain     -          -    tcp   -  100
bb-relay              bb                 bash   plain        plain     -          -    relay y  3
iu-relay-zsh          iu                 zsh    zsh-rprompt  plain     -          -    relay y  3
iu-bblogin-relay-fish iu-bblogin         fish   plain        plain     -          -    relay -  3
bb-relay-odd          bb                 dash   plain        odd       -          -    relay -  3
bb-relay-loss2        loss2              bash   plain        plain     loss:2     -    relay -  5
iu-relay-busy         iu                 bash   arrow        plain     -          on   relay -  3
iu-relay-fish         iu                 fish   plain        plain     -          -    relay y  3
bb-relay-csh          bb                 bsd-csh plain       plain     -          -    relay y  3
bb-relay-ash          bb                 ash    plain        plain     -          -    relay y  3
iu-bblogin-relay-ash  iu-bblogin         ash    plain        plain     -          -    relay -  3
iu-relay-tcsh         iu                 tcsh   plain        plain     -          -    relay -  3
bb-relay-ksh93        bb                 ksh93  plain        plain     -          -    relay -  3
iu-relay-mksh         iu                 mksh   plain        plain     -          -    relay -  3
"

# Every launch reports its steps, so that a lost one shows where it stopped.
DOVREL_FLAGS=-v
PLAIN_PASSWORD='Tr0ub4dor-matrix'
# 20 bytes in UTF-8, with what shells and telnet treat specially.
ODD_PASSWORD='p"$`\;|&* ö#!~'"'"'xyz1'

total_launches=0
total_lost=0
failed_cells=()
printf '%-22s %8s %8s %5s %14s\n' cell launches windows lost "median ms"
while read -r cell server shell startup password link busy xserver ci runs; do
  [ -z "$cell" ] && continue
  if [ -n "${DOVREL_MATRIX_CELLS:-}" ] && [[ " $DOVREL_MATRIX_CELLS " != *" $cell "* ]]; then continue; fi
  if [ "$MODE" = ci ]; then
    [ "$ci" = y ] || continue
    runs=1
  fi
  remote_host_set_shell "$shell"
  write_startup "$startup"
  secret=$PLAIN_PASSWORD
  [ "$password" = odd ] && secret=$ODD_PASSWORD
  remote_host_set_password "$secret"
  # X11 traffic over a lossy or slow link takes its time to draw a window:
  # the program itself knows the start from the lasting connection.
  WINDOW_WAIT=15 WINDOW_LATE=3
  case $link in
    loss:*) remote_host_loss "$server" "${link#loss:}" add; WINDOW_WAIT=90 WINDOW_LATE=90 ;;
    x11) remote_host_route_x "$server" add; WINDOW_WAIT=120 WINDOW_LATE=120 ;;
  esac
  # relay: the display takes no TCP connections, as on today's desktops.
  [ "$xserver" = relay ] && use_relay_display "$server"
  [ "$busy" = on ] && load on
  windows=0 lost=0 times=()
  for run in $(seq "$runs"); do
    dialogue "${RH_ADDR[$server]}" "$secret" XTerm x LC_ALL=C.UTF-8
    if [ -n "$WINDOW" ]; then
      windows=$((windows + 1))
      times+=("$ENTER_TO_WINDOW")
    fi
    if [ -z "$WINDOW" ] || [ "$STATUS" -ne 0 ]; then
      lost=$((lost + 1))
      echo "#   $cell run $run: status $STATUS, window ${ENTER_TO_WINDOW:-none}; its report:"
      sed 's/^/#     /' "$RH_WORK/dovrel.log" | tail -n 25
    fi
    remote_host_kill_user_processes
  done
  [ "$busy" = on ] && load off
  [ "$xserver" = relay ] && use_main_display
  case $link in
    loss:*) remote_host_loss "$server" "${link#loss:}" delete ;;
    x11) remote_host_route_x "$server" delete ;;
  esac
  median=-
  if [ ${#times[@]} -gt 0 ]; then
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((${#times[@]} + 1) / 2))p")
  fi
  printf '%-22s %8d %8d %5d %14s\n' "$cell" "$runs" "$windows" "$lost" "$median"
  total_launches=$((total_launches + runs))
  total_lost=$((total_lost + lost))
  [ "$lost" -eq 0 ] || failed_cells+=("$cell")
done <<<"$CELLS"

echo "matrix ($MODE): $total_launches launches, $total_lost lost${failed_cells[*]:+ (in ${failed_cells[*]})}," \
  "the password leaked $LEAKS times"
[ "$total_lost" -eq 0 ] && [ "$LEAKS" -eq 0 ]
