#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors, and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Installs the Debian packages the
# build and the tests need when they are missing (as root).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${buildPackages[@]}"
# The windowed tests run the program on Xvfb and drive it with real X input events.
scripts/install-test-deps.sh

jobs=$(nproc)
runSuite() {
    local dir=$1
    shift
    echo "== $dir: configure and build"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHAERIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== $dir: tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

runSuite build-test
runSuite build-sanitize -DSPHAERIX_SANITIZE=ON -DSPHAERIX_BENCH=OFF
