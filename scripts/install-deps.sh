#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools on a Debian 12 machine.
# Safe to run again: it only installs what is missing.
# msitools, python3-jsonschema and python3-yaml check the packages and their
# winget and Scoop manifests.
# fonts-wine is Wine's own fonts; without it (it is only recommended) Wine
# draws the caption buttons' symbols as letters of another font.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
      wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils xdotool imagemagick
      cmake ninja-build make googletest clang libclang-rt-14-dev python3-pefile python3-markdown libimage-exiftool-perl
      wixl osslsigncode openssl)
pkgs+=(msitools python3-jsonschema python3-yaml)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
