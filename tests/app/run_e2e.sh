#!/bin/sh
# Runs one test program on a private Xvfb screen: run_e2e.sh PROGRAM [ARGS...]
# The packages come from scripts/install-test-deps.sh; here a missing tool only fails.
set -u
for tool in xvfb-run Xvfb xauth; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run_e2e.sh: '$tool' is missing; install the test packages with scripts/install-test-deps.sh" >&2
        exit 1
    fi
done
# Mesa and the X libraries keep allocations until exit; leak reports would only be noise.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ASAN_OPTIONS
# llvmpipe draws the same pixels whatever the machine: keep it off any host GPU.
LIBGL_ALWAYS_SOFTWARE=1
export LIBGL_ALWAYS_SOFTWARE
# A display number of its own to start from: parallel runs of xvfb-run -a alone can
# pick the same one.
exec xvfb-run -a -n $((100 + $$ % 800)) -s "-screen 0 1280x1024x24" "$@"
