#!/usr/bin/env bash
# Installs the Debian packages Velmor needs to build, test and run, once.
# Quiet when everything is already there; safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-tools-dev qt6-l10n-tools qt6-pdf-dev qtkeychain-qt6-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  fonts-ipafont-gothic fonts-dejavu-core
  zlib1g-dev
  dcmtk libdcmtk-dev orthanc libgdcm-tools python3-pydicom python3-numpy python3-pil
  xvfb xauth time
  libjpeg62-turbo-dev libcharls-dev libopenjp2-7-dev openjph-tools libopenjp2-tools libjxl-dev libjxl-tools
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  dpkg-dev file lintian desktop-file-utils appstream
  libcurl4-openssl-dev orthanc orthanc-dicomweb
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
