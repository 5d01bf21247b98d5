#!/usr/bin/env bash
# Builds the WebAssembly module with emscripten into build-web/ and puts the page together
# in build-web/site/: sphaerix.js (the module with WebAssembly SIMD, WebAssembly inside),
# sphaerix-one-lane.js (the same without SIMD, built in build-web/one-lane/, for a browser
# without it; the page chooses at load) and the page's files as they are. The folder
# works from any static host.
#   SPHAERIX_WEB_BUILD=DIR web/build.sh   builds in DIR (and DIR/site) instead
set -euo pipefail
cd "$(dirname "$0")/.."
out=${SPHAERIX_WEB_BUILD:-build-web}
# emscripten's optimizer needs Debian's acorn, which node finds only here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPHAERIX_WASM_SIMD=ON >/dev/null
cmake --build "$out" --target sphaerix -j "${SPHAERIX_JOBS:-$(nproc)}"
emcmake cmake -S . -B "$out/one-lane" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSPHAERIX_WASM_SIMD=OFF >/dev/null
cmake --build "$out/one-lane" --target sphaerix -j "${SPHAERIX_JOBS:-$(nproc)}"
# Assembled beside the old site and swapped in, so that a page being served or tested
# never sees half a folder.
rm -rf "$out/site.new"
mkdir -p "$out/site.new"
if [ -d web/page ]; then
    cp -R web/page/. "$out/site.new/"
fi
cp "$out/web/sphaerix.js" "$out/site.new/sphaerix.js"
cp "$out/one-lane/web/sphaerix.js" "$out/site.new/sphaerix-one-lane.js"
rm -rf "$out/site"
mv "$out/site.new" "$out/site"
echo "site: $(cd "$out/site" && pwd)"
