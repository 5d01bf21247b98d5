#!/usr/bin/env bash
# Builds the program (and the sphere-map tool, for a missing sphere.raw) and runs Sphaerix
# from the top of the repository, where it reads sphere.raw. Tests, benchmarks and the
# other tools are left for `cmake --build build` or ./test.sh.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages "${buildPackages[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target sphaerix sphaerix-spheremap

if [ ! -f sphere.raw ]; then
    build/tools/spheremap/sphaerix-spheremap generate sphere.raw
    echo "Generated sphere.raw"
fi
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display (DISPLAY is not set); built, but cannot open the window" >&2
    exit 1
fi
exec build/app/sphaerix "$@"
