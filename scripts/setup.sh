#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Lumo need, only those missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  libjpeg62-turbo-dev libtiff-dev libjbig-dev libspng-dev libwebp-dev qt6-base-dev libcli11-dev
  # colour profiles; lossless JPEG turns
  liblcms2-dev libturbojpeg0-dev
  # AVIF (libavif with its AV1 decoders and encoders)
  libavif-dev
  # JPEG XL (libjxl)
  libjxl-dev
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev parallel
  # reference encoders and decoders for the cross-checks, and a display for the viewer's screenshots
  imagemagick netpbm libtiff-tools jbigkit-bin libjpeg-turbo-progs webp python3 python3-pil xvfb xauth
  # PostScript rendered back for the writer's tests; the batch benchmark's baseline
  ghostscript graphicsmagick
  # printed pages rendered back for the print tests
  poppler-utils
  # the viewer and the setup program driven with keys and clicks under a window manager; the serif
  # font of the setup program's background
  xdotool openbox x11-utils fonts-liberation2
  # other programs' side of the clipboard, for the viewer's clipboard test
  xclip
  # metadata read back, colour conversions and lossless turns to compare with
  libimage-exiftool-perl liblcms2-utils
  # AVIF reference encoder and decoder (avifenc, avifdec)
  libavif-bin
  # JPEG XL reference encoder and decoder (cjxl, djxl)
  libjxl-tools
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
