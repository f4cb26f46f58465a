#!/bin/sh
# Installs every Debian package the project needs (idempotent: only what is
# missing is installed). Run as root on Debian 12, or with sudo available.
set -eu

PACKAGES="build-essential cmake pkg-config git
  libsdl1.2-compat-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev libdeflate-dev
  libmpg123-dev libsoxr-dev libkissfft-dev libfreetype-dev libfontconfig-dev
  fonts-liberation libgtest-dev libgmock-dev libbenchmark-dev libmp3lame-dev
  xvfb xauth ffmpeg clang"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "setup: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
