#!/usr/bin/env bash
# Installs what building and testing need on Debian bookworm, as root.
# Idempotent and quick when everything is there: apt is only asked for what is missing.
#   scripts/install-deps.sh          build and test dependencies
#   scripts/install-deps.sh --gui    also the X server and tools for looking at the viewer
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libpugixml-dev python3 clang-format git)
# The DNS test runs its own name server in a private network namespace.
# dnsmasq-base is the program alone: the dnsmasq package would also install a
# system service that starts at once and answers on every interface.
packages+=(dnsmasq-base iproute2 util-linux)
if [[ "${BREVADIN_NO_GUI:-0}" != 1 ]]; then
  # The Japanese texts of Qt's own dialogs and buttons come from qt6-translations-l10n.
  packages+=(qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n fonts-noto-cjk)
fi
if [[ "${1:-}" == --gui ]]; then
  packages+=(xvfb xauth imagemagick xdotool)
fi

missing=()
for p in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == 'install ok installed' ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) != 0 ]]; then
    echo "install-deps: missing packages (${missing[*]}); run as root or install them" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
