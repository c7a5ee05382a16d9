#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n fonts-noto-cjk
  qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools
  libgtest-dev libbenchmark-dev zlib1g-dev nlohmann-json3-dev libssl-dev libdeflate-dev
  libxml2-utils libewf-dev ewf-tools parallel jq
  clang libclang-rt-14-dev clang-format
  desktop-file-utils appstream dpkg-dev file man-db bash-completion
  pmccabe universal-ctags
  qt6-multimedia-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  ffmpeg
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  ffmpeg
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
