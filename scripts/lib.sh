# Shared by the scripts: installing what is missing, configuring and building.
# Sourced, not run.

DOVREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config openssh-client xauth qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libxcb1-dev libxau-dev libx11-dev libfontconfig-dev libgl-dev dpkg-dev file)
TEST_PACKAGES=(bash-completion googletest libgtest-dev xvfb xauth xdotool x11-utils x11-apps x11-xserver-utils python3 locales fonts-ipafont-gothic
  fonts-noto-cjk man-db libtelnet-dev lintian)
# The end-to-end test's remote host: its shells, its terminal, socat, and the
# libraries of the telnet servers, which are unpacked rather than installed
# (installing inetutils-telnetd would start an inetd service).
E2E_PACKAGES=(iproute2 iptables socat openssh-server python3-paramiko strace zsh tcsh dash mksh ksh fish csh xterm twm weston xwayland login passwd libkrb5-3 libk5crypto3 libcom-err2 libtinfo6)
E2E_SERVER_PACKAGES=(busybox-static inetutils-telnetd)
# The fuzzers' compiler and runtime, and the static analysers.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
LINT_PACKAGES=(clang-tidy cppcheck)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages among "$@" that are not installed yet.
install_missing() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# Locales that the tests type in (a double-byte one and an 8-bit one) and the
# Japanese one the translation is shown in.
generate_test_locales() {
  local wanted=("ja_JP EUC-JP ja_JP.eucJP" "ja_JP UTF-8 ja_JP.UTF-8" "en_US ISO-8859-1 en_US.ISO-8859-1"
    "en_US UTF-8 en_US.UTF-8")
  for entry in "${wanted[@]}"; do
    read -r source charset name <<<"$entry"
    locale -a 2>/dev/null | grep -qixF "$name" && continue
    as_root localedef -i "$source" -f "$charset" "$name" 2>/dev/null ||
      echo "note: could not generate locale $name; its test will be skipped"
  done
}

# configure_and_build DIR BUILD_TYPE [more cmake arguments...]
configure_and_build() {
  local dir=$1 type=$2
  shift 2
  cmake -S "$DOVREL_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -- -j"$(nproc)"
}

# Unpacks the telnet servers into DIR (busybox at DIR/bin/busybox, inetutils
# telnetd at DIR/usr/sbin/telnetd) without installing them.
unpack_telnet_servers() {
  local dir=$1
  [ -x "$dir/bin/busybox" ] && [ -x "$dir/usr/sbin/telnetd" ] && return 0
  local downloads
  downloads=$(mktemp -d)
  chmod 755 "$downloads"   # apt's download user must be able to write here
  (cd "$downloads" && apt-get download -q "${E2E_SERVER_PACKAGES[@]}" >/dev/null 2>&1 ||
    { as_root apt-get update -qq && apt-get download -q "${E2E_SERVER_PACKAGES[@]}" >/dev/null; })
  mkdir -p "$dir"
  for deb in "$downloads"/*.deb; do dpkg-deb -x "$deb" "$dir"; done
  rm -rf "$downloads"
}

# Starts a private Xvfb for this script on a free display (no TCP, no window
# manager), points DISPLAY at it and stops it when the script exits.
start_local_xvfb() {
  local fd number
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  LOCAL_XVFB_PID=$!
  trap 'kill "$LOCAL_XVFB_PID" 2>/dev/null' EXIT
  read -r -u "$fd" number
  export DISPLAY=:$number
}
