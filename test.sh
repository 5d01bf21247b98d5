#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors, and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Installs the Debian packages the
# build and the tests need when they are missing (as root). The normal suite also builds
# the page (web/build.sh) and tests it in node and headless Chromium.
#
# The two suites run side by side, the sanitized one's output kept in
# build-sanitize.log and shown when it ends: the page's tests spend much of their time
# waiting on the browser, and the other suite's compiling fills that time, so the
# command takes about half as long as one suite after the other (docs/speed.md).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${buildPackages[@]}"

jobs=$(nproc)

# The windowed tests run the program on Xvfb and drive it with real X input events; the
# page's run in node and Chromium. Installed while the builds compile, which need none
# of them; the marker files tell the sanitized suite when its tests may start.
rm -f build-test-deps.ok build-test-deps.failed
{ scripts/install-test-deps.sh >build-test-deps.log 2>&1 && touch build-test-deps.ok || touch build-test-deps.failed; } &
testDeps=$!

# The page was tested with the normal build; here only its session code runs, natively.
# At -O1 the sanitized build takes half as long as at -O2 (CLI11 and the JSON library are
# heavy templates), and the checks are the same.
# A unity build (the files of a target compiled a batch at a time) halves its compile
# time; the normal build compiles each file alone, so a missing include still shows.
sanitizedSuite() {
    local dir=build-sanitize
    echo "== $dir: configure and build"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHAERIX_WERROR=ON -DSPHAERIX_SANITIZE=ON \
        -DSPHAERIX_BENCH=OFF -DSPHAERIX_WEB_SITE="$PWD/build-web/no-site" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON >/dev/null
    cmake --build "$dir" -j "$jobs"
    while [ ! -e build-test-deps.ok ]; do
        [ -e build-test-deps.failed ] && { echo "== the test packages did not install (build-test-deps.log)"; return 1; }
        sleep 1
    done
    echo "== $dir: tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}
sanitizedSuite >build-sanitize.log 2>&1 &
sanitized=$!

showSanitized() {
    local status=0
    wait "$sanitized" || status=$?
    echo "== build-sanitize (ran beside the normal suite; build-sanitize.log):"
    cat build-sanitize.log
    return "$status"
}
# If the normal suite stops early (a build error), the sanitized one stops with it.
stopTree() {
    local child
    for child in $(pgrep -P "$1"); do stopTree "$child"; done
    kill "$1" 2>/dev/null || true
}
trap 'stopTree "$sanitized"' EXIT

# Line tables only (-g1): enough for a failure's stack, and the build takes a quarter less.
echo "== build-test: configure and build"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPHAERIX_WERROR=ON \
    -DSPHAERIX_WEB_SITE="$PWD/build-web/site" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build build-test -j "$jobs"

wait "$testDeps"
if [ ! -e build-test-deps.ok ]; then
    cat build-test-deps.log
    exit 1
fi
echo "== build-web: the page (WebAssembly)"
SECONDS=0
web/build.sh
echo "== build-web: built in ${SECONDS} s"

echo "== build-test: tests"
normal=0
ctest --test-dir build-test --output-on-failure -j "$jobs" || normal=$?
trap - EXIT
showSanitized || exit
exit "$normal"
