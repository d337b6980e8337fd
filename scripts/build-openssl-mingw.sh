#!/usr/bin/env bash
# Builds static OpenSSL libraries for both mingw targets from Debian's own source
# package and caches them outside the clone, keyed by the source version.
# Usage: build-openssl-mingw.sh [cache-dir]   (prints nothing new when cached)
set -euo pipefail

cache=${1:-${TESSAL_CACHE:-/var/cache/tessal}}
mkdir -p "$cache"

# A deb-src entry copied from the machine's own Debian entry, so no mirror is named here.
ensure_deb_src() {
  if [ -n "$(apt-cache showsrc openssl 2>/dev/null | head -n 1)" ]; then return; fi
  local src=/etc/apt/sources.list.d/debian.sources
  local out=/etc/apt/sources.list.d/tessal-deb-src.sources
  if [ -f "$src" ]; then
    sed -e 's/^Types:.*/Types: deb-src/' "$src" > "$out"
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/tessal-deb-src.list
  fi
  apt-get update -qq
}

# Source versions apt knows, newest first; a cached build of any of them is reused.
versions() { apt-cache showsrc openssl 2>/dev/null | awk '/^Version:/ {print $2}' | sort -Vr | uniq; }
keyof() { echo "openssl-${1//[^A-Za-z0-9.+-]/_}"; }
complete() { [ -f "$cache/$1/x86_64/lib/libssl.a" ] && [ -f "$cache/$1/i686/lib/libssl.a" ]; }

ensure_deb_src
for v in $(versions); do
  if complete "$(keyof "$v")"; then
    ln -sfn "$(keyof "$v")" "$cache/openssl-mingw"
    echo "openssl for mingw: cached ($v) in $cache/openssl-mingw"; exit 0
  fi
done

work=$(mktemp -d "$cache/src.XXXXXX")
trap 'rm -rf "$work"' EXIT
version=
for v in $(versions); do   # the newest version the archive still serves
  if ( cd "$work" && apt-get source -qq --download-only "openssl=$v" >/dev/null 2>&1 ); then version=$v; break; fi
  rm -f "$work"/openssl_*
done
[ -n "$version" ] || { echo "openssl for mingw: no source package could be fetched" >&2; exit 1; }
( cd "$work" && dpkg-source -x openssl_*.dsc src >/dev/null )
key=$(keyof "$version")

for arch in x86_64 i686; do
  case $arch in
    x86_64) target=mingw64; prefix=x86_64-w64-mingw32- ;;
    i686)   target=mingw;   prefix=i686-w64-mingw32- ;;
  esac
  dest="$cache/$key/$arch"
  [ -f "$dest/lib/libssl.a" ] && continue
  echo "openssl for mingw: building $arch ($version)"
  rm -rf "$work/b-$arch"; cp -a "$work/src" "$work/b-$arch"
  ( cd "$work/b-$arch" &&
    ./Configure "$target" no-shared no-tests no-asm no-module no-engine \
        --cross-compile-prefix="$prefix" --prefix="$dest.tmp" --libdir=lib >/dev/null &&
    make -s -j"$(nproc)" build_libs >/dev/null 2>&1 &&
    make -s install_dev >/dev/null 2>&1 )
  rm -rf "$dest"; mv "$dest.tmp" "$dest"
done
ln -sfn "$key" "$cache/openssl-mingw"
echo "openssl for mingw: ready ($version) in $cache/openssl-mingw"
