# What the end-to-end tests do to run the program as a person would: find
# its windows, type into the form with xdotool, time it and clear the remote
# host between launches. Sourced after scripts/remote_host.sh, with DOVREL,
# RH_* and DISPLAY_NUM set; LEAKS counts a password found where it must not
# be.

LEAKS=${LEAKS:-0}

# The relay keeps its port for a grace period after its terminal is gone;
# these runs launch one after another on a few displays and check each
# relay's end, so its life is cut to the terminal's (the in-process relay
# tests check the grace period itself).
export DOVREL_RELAY_LATE_GRACE_MS=${DOVREL_RELAY_LATE_GRACE_MS:-0}

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

# Gives each non-ASCII character of $1 a key of its own on the display, so
# that xdotool types it as a plain key press. Left to bind a key itself in
# mid-word, xdotool now and then loses a character: the form reads the key
# before it has seen the new keymap.
bind_keys_for() {
  local LC_ALL=C.UTF-8
  local free bound="" ch code keysym i=0
  mapfile -t free < <(xmodmap -pke | awk 'NF <= 3 { print $2 }')
  while IFS= read -r -n1 ch; do
    code=$(printf '%d' "'$ch" 2>/dev/null) || continue
    [ "$code" -lt 128 ] && continue
    [[ "$bound" == *"$ch"* ]] && continue
    [ "$i" -lt "${#free[@]}" ] || return 0
    # xdotool looks a character up by its Unicode keysym; Latin-1 has a
    # legacy one as well.
    keysym=$(printf '0x%x' $((0x1000000 + code)))
    [ "$code" -lt 256 ] && keysym="$(printf '0x%x' "$code") $keysym"
    xmodmap -e "keycode ${free[i]} = $keysym"
    bound+=$ch
    i=$((i + 1))
  done <<<"$1"
}

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
#   [SCREEN_ARG=] dialogue ADDRESS PASSWORD CLASS [x] [env assignments...]
dialogue() {
  local address=$1 password=$2 class=$3 switch=$4
  shift 4
  # SCREEN_ARG set and empty: no Screen argument, $DISPLAY decides.
  # shellcheck disable=SC2086
  env "$@" "$DOVREL" ${DOVREL_FLAGS:-} "$address" ${SCREEN_ARG-$DISPLAY_NUM} $switch >"$RH_WORK/dovrel.log" 2>&1 &
  local pid=$!
  WINDOW=
  ENTER_TO_WINDOW=
  if ! wait_window_named '^Dovrel$' 15 >/dev/null; then
    STATUS=125
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  # user@host fills the user name and gives the password the focus.
  if [[ $address != *@* ]]; then
    xdotool type --delay 15 "$RH_USER"
    xdotool key Tab
  fi
  bind_keys_for "$password"
  xdotool type --delay 15 "$password"
  # The password is in the form now: it must not be in argv or the environment.
  if grep -qaF -- "$password" "/proc/$pid/cmdline" "/proc/$pid/environ" 2>/dev/null; then
    LEAKS=$((LEAKS + 1))
  fi
  local enter
  enter=$(now_ms)
  xdotool key Return
  # Watch for the terminal while the program runs, and for WINDOW_WAIT
  # seconds in all; once the program has ended, only until WINDOW_LATE
  # seconds after Enter (a window on a slow link comes long after).
  local deadline=$((enter + ${WINDOW_WAIT:-12} * 1000))
  local late=$((enter + ${WINDOW_LATE:-3} * 1000))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    WINDOW=$(window_of_class "$class")
    if [ -n "$WINDOW" ]; then ENTER_TO_WINDOW=$(($(now_ms) - enter)); break; fi
    kill -0 "$pid" 2>/dev/null || [ "$(now_ms)" -lt "$late" ] || break
    sleep 0.05
  done
  if kill -0 "$pid" 2>/dev/null && [ -z "$WINDOW" ]; then
    # Still running without a terminal: show where it stands.
    echo "#   no terminal yet; focus on: $(xdotool getwindowfocus getwindowname 2>&1 | tr '\n' ' ')"
  fi
  wait_exit "$pid" $((${WINDOW_WAIT:-12} + 3))
  STATUS=$?
  ENTER_TO_EXIT=$(($(now_ms) - enter))
  # Nor in anything the program printed.
  if grep -qaF -- "$password" "$RH_WORK/dovrel.log"; then LEAKS=$((LEAKS + 1)); fi
}

# Closes the remote terminal and whatever else the remote user left running.
reset_remote() {
  remote_host_kill_user_processes
  local deadline=$(($(now_ms) + 5000))
  while [ -n "$(window_of_class XTerm)$(window_of_class KTerm)" ] && [ "$(now_ms)" -lt "$deadline" ]; do
    sleep 0.05
  done
  rm -f "$RH_HOME/kterm-arguments"
}

# A launch that fails: the program (with -v) says why in a box, dismissed as
# a person would (Return, or the key BOX_KEY names). Sets BOX (the box's window, or empty), ENTER_TO_END (ms to
# the box, or to the program's end without one) and STATUS.
#   failing_dialogue ADDRESS PASSWORD SCREEN [x]
failing_dialogue() {
  env LC_ALL=C.UTF-8 "$DOVREL" -v ${DOVREL_FLAGS:-} "$1" "$3" ${4:-} >"$RH_WORK/dovrel.log" 2>&1 &
  local pid=$!
  BOX=
  local form
  if ! form=$(wait_window_named '^Dovrel$' 15); then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    STATUS=125
    return
  fi
  xdotool type --delay 15 "$RH_USER"
  xdotool key Tab
  bind_keys_for "$2"
  xdotool type --delay 15 "$2"
  local enter
  enter=$(now_ms)
  xdotool key Return
  # The box is captioned "dovrel", the form "Dovrel".
  local deadline=$((enter + 20000))
  while [ "$(now_ms)" -lt "$deadline" ] && kill -0 "$pid" 2>/dev/null; do
    BOX=$(xdotool search --onlyvisible --name '^dovrel$' 2>/dev/null | grep -vx "$form" | head -n 1)
    [ -n "$BOX" ] && break
    sleep 0.05
  done
  ENTER_TO_END=$(($(now_ms) - enter))
  [ -n "$BOX" ] && sleep 0.3 && xdotool key "${BOX_KEY:-Return}"
  # A question (no kterm: start xterm?) may be followed by the end's box.
  local next seen=" $BOX " until=$(($(now_ms) + 5000))
  while [ -n "$BOX" ] && [ "$(now_ms)" -lt "$until" ] && kill -0 "$pid" 2>/dev/null; do
    next=$(xdotool search --onlyvisible --name '^dovrel$' 2>/dev/null | grep -vx "$form" | head -n 1)
    if [ -n "$next" ] && [[ $seen != *" $next "* ]]; then
      seen+="$next "
      sleep 0.3
      xdotool key Return
    fi
    sleep 0.05
  done
  wait_exit "$pid" $((${WINDOW_WAIT:-12} + 3))
  STATUS=$?
}

# One check: counts it and prints one line; on a failure, the end of the
# program's report too (the host's text left out).
#   check CONDITION-STATUS DESCRIPTION
passed=0
failed=0
check() {
  if [ "$1" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok   $2"
  else
    failed=$((failed + 1))
    echo "FAIL $2"
    [ -s "$RH_WORK/dovrel.log" ] && grep -v ': [0-9.]* s: host:' "$RH_WORK/dovrel.log" | tail -n 8 | sed "s/^/#   dovrel: /"
  fi
}
