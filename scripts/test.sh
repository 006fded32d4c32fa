#!/bin/sh
# Builds Kivo and runs every test: once normally with GCC, once with Clang
# under AddressSanitizer and UndefinedBehaviorSanitizer (Clang also finds
# unused private fields, which GCC does not look for). The first build's
# tests also make the Debian package from it and check it (build/test/package).
# With the GUI, the race checker (the live run and its tab) runs once more
# under ThreadSanitizer.
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

# ThreadSanitizer cannot share a tree with AddressSanitizer: a third tree,
# optimised (the simulator is slow under it), that builds only the race
# checker and what it links. Any report fails the test.
if [ "$gui" = ON ]; then
    if [ -f build/tsan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' build/tsan/CMakeCache.txt; then
        rm -rf build/tsan
    fi
    CC=clang CXX=clang++ cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVO_WERROR=ON -DKIVO_TSAN=ON -DKIVO_BUILD_GUI=ON
    cmake --build build/tsan -j "$jobs" --target kivo_race_tests
    ctest --test-dir build/tsan -R '^kivo_race_tests$' --output-on-failure
fi
# Then a minute of libFuzzer on each fuzz target.
sh scripts/fuzz.sh build/sanitize 60
