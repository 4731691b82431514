#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the tests, the GUI checks and the
# package build and its checks need.
# Only what is missing is installed, so a second run takes seconds.
set -euo pipefail

packages=(
  cmake ninja-build g++ make clang-format
  libmicrohttpd-dev zlib1g-dev libyaml-cpp-dev libcrypt-dev prometheus openssl
  clang libclang-rt-14-dev ccache
  qt6-base-dev libqcustomplot-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  pkg-config libusb-1.0-0-dev
  umockdev libumockdev-dev
  xvfb xauth xdotool imagemagick fonts-dejavu-core qt6ct
  dbus-daemon at-spi2-core python3-dbus
  locales
  dpkg-dev file librsvg2-bin desktop-file-utils appstream man-db debootstrap lintian
  python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pytest python3-pandas
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  if [[ $(id -u) -eq 0 ]]; then sudo=(); else sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the number-text tests can prove they ignore it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [[ $(id -u) -eq 0 ]]; then sudo=(); else sudo=(sudo); fi
  if [[ -f /etc/locale.gen ]] && ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen >/dev/null 2>&1 || echo "install-deps: could not generate de_DE.UTF-8; the comma-locale test will be skipped"
fi
