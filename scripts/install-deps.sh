#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quick when all are present.
set -euo pipefail
packages=(cmake make g++ ninja-build googletest libgtest-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  gcc-mingw-w64-x86-64-win32-runtime
  wine wine64 xvfb xauth binutils ripgrep bc fonts-wqy-microhei clang-format locales imagemagick clang libclang-rt-14-dev
  aapt android-framework-res zip unzip zipalign apksigner
  gettext translate-toolkit libgettextpo-dev libunistring-dev libxml2-dev libicu-dev liblzma-dev zlib1g-dev
  pkg-config)
# One question to dpkg for all of them: the installed ones are listed, the rest are missing.
installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' "${packages[@]}" 2>/dev/null |
  awk '$1 == "ii" { sub(/:.*/, "", $2); print $2 }')
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The window tests run in the zh_CN locale, whose ANSI code page (936) the Chinese texts need.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
    echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
