#!/bin/sh
# Installs the Debian 12 packages Kivo builds with. Needs root (apt-get);
# skips the install when everything is already there.
set -e
pkgs="cmake ninja-build g++ clang libclang-rt-14-dev clang-format libgtest-dev libgmock-dev libbenchmark-dev libgit2-dev pkg-config libpng-dev libyaml-cpp-dev nlohmann-json3-dev python3 dpkg-dev file"
if [ "${KIVO_GUI:-1}" = 1 ]; then
    pkgs="$pkgs qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev xvfb xauth"
fi
missing=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" != 0 ]; then
        echo "run as root to install packages:$missing" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends $missing
fi
