#!/usr/bin/env bash
# Builds the program (and the sphere-map tool, for a missing sphere.raw) and runs Sphaerix
# from the top of the repository, where it reads sphere.raw. Tests, benchmarks and the
# other tools are left for `cmake --build build` or ./test.sh.
#   ./run.sh --web               builds the page into build-web/site/ (and the one file
#                                build-web/sphaerix.html) and serves it on 127.0.0.1,
#                                printing its address
#   ./run.sh --web --build-only  only builds it
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh

if [ "${1:-}" = "--web" ]; then
    case "${2:-}" in
        "" | --build-only) ;;
        *) echo "run.sh: unknown option \"$2\" after --web (only --build-only)" >&2; exit 2 ;;
    esac
    ensure_packages "${buildPackages[@]}" "${webBuildPackages[@]}"
    web/build.sh >&2
    [ "${2:-}" = "--build-only" ] && exit 0
    exec /usr/bin/python3 scripts/serve-site.py build-web/site
fi
ensure_packages "${buildPackages[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target sphaerix sphaerix-spheremap

if [ ! -f sphere.raw ]; then
    build/tools/sphaerix-spheremap/sphaerix-spheremap generate sphere.raw
    echo "Generated sphere.raw"
fi
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no X display (DISPLAY is not set); built, but cannot open the window" >&2
    exit 1
fi
exec build/app/sphaerix "$@"
