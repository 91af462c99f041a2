#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing the setup: the MinGW
# toolchain, 32-bit Wine, Xvfb, 7-Zip, stress-ng (scripts/soak.sh), the
# it_IT.UTF-8 locale (Wine's own buttons in Italian), and the source packages
# of the libraries we build ourselves. Idempotent; prints nothing when all is
# there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
third="$root/third_party"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

packages=(g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 wine64
          xvfb xauth 7zip imagemagick python3 cmake googletest dpkg-dev
          stress-ng locales)

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    $sudo apt-get update -qq >/dev/null
    apt_updated=1
  fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  apt_updated=0
fi

src_list=/etc/apt/sources.list.d/debian-src.sources
if [ ! -f "$src_list" ]; then
  uri="$(awk '/^URIs:/ && $2 ~ /debian\/?$/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)"
  [ -n "$uri" ] || uri="http://deb.debian.org/debian"
  $sudo tee "$src_list" >/dev/null <<SRC
Types: deb-src
URIs: $uri
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt_update
  DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Italian locale: with LANG=it_IT.UTF-8 Wine draws its own buttons (the
# sheet's Avanti, Indietro, Annulla) in the language of the setup's pages.
if ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8'; then
  if grep -q '^# *it_IT\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $sudo sed -i 's/^# *\(it_IT\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^it_IT\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'it_IT.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen >/dev/null 2>&1 || {
    echo "bootstrap: could not generate the locale it_IT.UTF-8" >&2
    exit 1
  }
fi

# Library sources, unpacked into the git-ignored third_party/ folder.
mkdir -p "$third"
fetch_source() {  # package, folder glob that proves it is unpacked
  local pkg="$1" probe="$2"
  if ! compgen -G "$third/$probe" >/dev/null; then
    apt_update
    (cd "$third" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
      echo "bootstrap: could not fetch the source package $pkg" >&2
      exit 1
    }
  fi
}
fetch_source sqlitecpp 'sqlitecpp-*/sqlite3/sqlite3.c'
fetch_source pugixml 'pugixml-*/src/pugixml.cpp'
fetch_source 7zip '7zip-*/C/7zArcIn.c'
