#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the fuzzers, the
# benchmarks and the package check need.
# Idempotent: when every package is already present it only asks dpkg and returns.
set -euo pipefail

# The fonts the window needs to draw all 83 languages: "Sans" resolves to
# DejaVu Sans and fontconfig falls back per script to the others. Chosen for
# coverage per installed size (about 14 MB together, where the full Noto
# families with CJK take over 130 MB). The program's package depends on the
# same list.
#   fonts-dejavu-core     Latin, Greek, Cyrillic, Armenian, Georgian, Hebrew, Arabic, Lao
#   fonts-noto-ui-core    Arabic (Naskh for Urdu), Devanagari, Bengali, Gurmukhi, Gujarati,
#                         Tamil, Telugu, Kannada, Malayalam, Sinhala, Thai, Lao, Khmer, Myanmar
#   fonts-wqy-microhei    Han (simplified and traditional), kana, Hangul
#   fonts-sil-abyssinica  Ethiopic
font_packages=(
  fonts-dejavu-core fonts-noto-ui-core fonts-wqy-microhei fonts-sil-abyssinica
)

packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libcairo2-dev libpango1.0-dev libglib2.0-dev libsodium-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  gettext python3 libnss-wrapper
  libatk1.0-dev libatk-bridge2.0-dev at-spi2-core python3-pyatspi
  dbus xvfb xdotool xclip x11-utils x11-xserver-utils imagemagick mdadm
  "${font_packages[@]}"
  clang dpkg-dev file desktop-file-utils appstream man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
