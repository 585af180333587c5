#!/usr/bin/env bash
# Installs every Debian package the recorder needs to build, run and test.
# Idempotent and quiet: when everything is present it prints nothing and
# does not touch the package lists.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format
  qt6-base-dev libqt6dbus6 dbus-daemon
  libasound2-dev alsa-utils
  libmp3lame-dev lame libmpg123-dev mpg123
  libgsm1-dev libsoxr-dev libzip-dev libfftw3-dev
  libsimpleini-dev libsodium-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  sox
  # The update tests sign archives with the real tool the maker uses.
  minisign
  # The language-file tests check our files with an independent PE reader.
  python3-pefile
  # The displays draw their scale labels and texts with a real font, also
  # offscreen.
  fonts-dejavu-core
  # The window's shape, screen grabs and real pointer events are tested on
  # a virtual X server that the X11 tests start themselves, driven from
  # outside the program by xdotool.
  xvfb xdotool
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
