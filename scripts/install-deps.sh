#!/usr/bin/env bash
# The one list of Debian packages the project needs. Idempotent: installs only what is missing.
# With --bench it also installs the peers the benchmarks compare against (`make bench`); `make test` needs none of them.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # libraries standing in for the platform
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libopenjp2-7-dev libcairo2-dev libsdl2-dev
  libx11-dev liblcms2-dev libcurl4-openssl-dev libjxr-dev libfreetype-dev libfontconfig-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libavdevice-dev libsane-dev libv4l-dev
  # fonts
  fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei
  # independent readers and writers used by the tests
  imagemagick pngcheck libtiff-tools netpbm python3-pil libjpeg-turbo-progs qpdf poppler-utils ghostscript ffmpeg
  libopenjp2-tools libjxr-tools libimage-exiftool-perl dcmtk inkscape sane-utils python3-pyftpdlib libgs-common shared-mime-info adwaita-icon-theme
  # a real window in CI
  xvfb xdotool xauth x11-utils openbox
)

# Peers the benchmarks time beside ours; only `make bench` asks for them.
BENCH_PACKAGES=(
  libvips-tools
)

if [ "${1:-}" = "--bench" ]; then PACKAGES+=("${BENCH_PACKAGES[@]}"); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
