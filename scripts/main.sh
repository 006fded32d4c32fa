#!/bin/sh
# Builds Kivo and runs its main job: the bundled example project is copied to
# build/example and generated there; on a machine with a display the desktop
# application then opens it.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
gui=ON
[ "${KIVO_GUI:-1}" = 1 ] || gui=OFF
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIVO_BUILD_GUI=$gui -DKIVO_BUILD_TESTS=OFF
cmake --build build/release -j "$jobs"

rm -rf build/example
mkdir -p build/example
cp examples/Blink.kivo build/example/Blink.kivo
build/release/cli/kivo-cli show build/example/Blink.kivo
build/release/cli/kivo-cli generate build/example/Blink.kivo
ls -l build/example
if [ "$gui" = ON ] && [ -x build/release/gui/kivo ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/release/gui/kivo build/example/Blink.kivo
fi
