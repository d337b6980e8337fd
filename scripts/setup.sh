#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine (run as root).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  build-essential cmake ninja-build pkg-config git file python3
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 xvfb xauth x11-utils xdotool imagemagick fonts-nanum
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpcap-dev libssl-dev openssl curl iproute2 tcpdump
  nginx-light chromium libnss3-tools
  dpkg-dev xz-utils locales
  msitools wixl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # Only the 64-bit Wine: this machine's kernel runs no 32-bit code.
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its code pages from LC_ALL=ko_KR.UTF-8; the locale itself keeps the
# shells quiet about it.
if ! locale -a 2>/dev/null | grep -qi '^ko_KR.utf8$'; then
  sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

"$here/build-openssl-mingw.sh"
echo "setup: ready"
