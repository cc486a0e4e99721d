#!/usr/bin/env bash
# Installs the Debian packages Zembra builds and tests against, only those that
# are missing. Safe to run any number of times; runs apt-get as root or via sudo.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  # media libraries (headers; the libraries themselves are loaded at run time)
  libavcodec-dev libavformat-dev libavfilter-dev libavdevice-dev
  libswscale-dev libswresample-dev libavutil-dev
  # independent reader and fixture maker for tests
  ffmpeg
  # user interface
  qt6-base-dev qt6-multimedia-dev libqt6sql6-sqlite qt6-l10n-tools
  # task store
  libsqlite3-dev
  # a decimal-comma locale for the locale-independence tests (localedef)
  locales
  # DVD sources
  libdvdread-dev libdvdnav-dev
  # UI tests, screenshots and DVD fixtures
  xvfb xauth fonts-wqy-zenhei fonts-dejavu-core dvdauthor genisoimage
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    sudo_cmd=(sudo)
  else
    echo "error: missing packages (${missing[*]}) and not root; run as root or install sudo" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
