#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need, only when some are missing.
# `install-deps.sh fuzz` also installs what `make fuzz` needs: clang 16 and its libFuzzer (the distribution's
# clang 14 cannot compile our C++20).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  dpkg-dev fakeroot lintian desktop-file-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev libqt6opengl6-dev
  libgl-dev
  libsqlitecpp-dev libsqlite3-dev sqlite3
  libspdlog-dev libfmt-dev nlohmann-json3-dev
  libevdev-dev libx11-dev libxkbcommon-dev libxkbcommon-x11-dev libxres-dev libxi-dev libxtst-dev libxfixes-dev xkb-data
  xvfb xauth fluxbox x11-utils libgtk-3-dev
  dbus dbus-x11
  qemu-system-x86 linux-image-amd64 busybox-static cpio kmod xz-utils
  udev xserver-xorg-core xserver-xorg-video-dummy xserver-xorg-input-libinput x11-xserver-utils xinput xclip xterm
)
if [[ "${1:-}" == "fuzz" ]]; then
  packages+=(clang-16 libclang-rt-16-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
