#!/usr/bin/env bash
# Builds the WebAssembly module with emscripten into build-web/ and puts the page together
# in build-web/site/: sphaerix.js (the module, WebAssembly inside) and the page's files
# as they are. The folder works from any static host.
set -euo pipefail
cd "$(dirname "$0")/.."
# emscripten's optimizer needs Debian's acorn, which node finds only here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web --target sphaerix -j "${SPHAERIX_JOBS:-$(nproc)}"
rm -rf build-web/site
mkdir -p build-web/site
if [ -d web/page ]; then
    cp -R web/page/. build-web/site/
fi
cp build-web/web/sphaerix.js build-web/site/sphaerix.js
echo "site: $(pwd)/build-web/site"
