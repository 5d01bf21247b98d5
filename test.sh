#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors, and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Installs the Debian packages the
# build and the tests need when they are missing (as root). The normal suite also builds
# the page (web/build.sh) and tests it in node and headless Chromium.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${buildPackages[@]}"
# The windowed tests run the program on Xvfb and drive it with real X input events; the
# page's run in node and Chromium.
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

echo "== build-web: the page (WebAssembly)"
SECONDS=0
web/build.sh
echo "== build-web: built in ${SECONDS} s"
# Line tables only (-g1): enough for a failure's stack, and the build takes a quarter less.
runSuite build-test -DSPHAERIX_WEB_SITE="$PWD/build-web/site" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
# The page was tested with the normal build; here only its session code runs, natively.
# At -O1 the sanitized build takes half as long as at -O2 (CLI11 and the JSON library are
# heavy templates), and the checks are the same.
# A unity build (the files of a target compiled a batch at a time) halves its compile
# time; the normal build above compiles each file alone, so a missing include still shows.
runSuite build-sanitize -DSPHAERIX_SANITIZE=ON -DSPHAERIX_BENCH=OFF -DSPHAERIX_WEB_SITE="$PWD/build-web/no-site" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON
