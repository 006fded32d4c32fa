#!/bin/sh
# Builds Kivo and runs every test: once normally with GCC, once with Clang
# under AddressSanitizer and UndefinedBehaviorSanitizer (Clang also finds
# unused private fields, which GCC does not look for). The first build's
# tests also make the Debian package from it and check it (build/test/package).
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
# One house style, checked before anything builds.
sh scripts/format.sh --check
jobs=$(nproc 2>/dev/null || echo 2)
gui=ON
[ "${KIVO_GUI:-1}" = 1 ] || gui=OFF

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_WERROR=ON -DKIVO_BUILD_GUI=$gui -DKIVO_BUILD_BENCHMARKS=ON
cmake --build build/test -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/test --output-on-failure -j "$jobs"

# A tree configured before with another compiler would keep it.
if [ -f build/sanitize/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' build/sanitize/CMakeCache.txt; then
    rm -rf build/sanitize
fi
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVO_WERROR=ON -DKIVO_SANITIZE=ON -DKIVO_BUILD_GUI=$gui
cmake --build build/sanitize -j "$jobs"
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
# Then a minute of libFuzzer on each fuzz target.
sh scripts/fuzz.sh build/sanitize 60
