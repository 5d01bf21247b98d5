#!/usr/bin/env bash
# Builds the WebAssembly module with emscripten into build-web/ and puts the page together
# in build-web/site/: sphaerix.js (the module with WebAssembly SIMD, WebAssembly inside),
# sphaerix-one-lane.js (the same without SIMD, for a browser without it; the page chooses
# at load; both from one build, the frame's own files compiled twice) and the page's files as they are. The folder
# works from any static host; build-web/sphaerix.html is the same page in one file, both
# modules inside, for opening from disk.
#   SPHAERIX_WEB_BUILD=DIR web/build.sh   builds in DIR (and DIR/site) instead
set -euo pipefail
cd "$(dirname "$0")/.."
out=${SPHAERIX_WEB_BUILD:-build-web}
# emscripten's optimizer needs Debian's acorn, which node finds only here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# A unity build (a target's files compiled a batch at a time): the JSON library's header,
# slow to compile, is read once a batch. The native build checks each file alone.
emcmake cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build "$out" --target sphaerix sphaerix-one-lane -j "${SPHAERIX_JOBS:-$(nproc)}"
# Assembled beside the old site and swapped in, so that a page being served or tested
# never sees half a folder.
rm -rf "$out/site.new"
mkdir -p "$out/site.new"
if [ -d web/page ]; then
    cp -R web/page/. "$out/site.new/"
fi
cp "$out/web/sphaerix.js" "$out/site.new/sphaerix.js"
cp "$out/web/sphaerix-one-lane.js" "$out/site.new/sphaerix-one-lane.js"
# The same page as one file that opens from disk: esbuild bundles the modules (the node
# branch of the module's loader keeps its require calls and never runs in a browser).
esbuild "$out/site.new/main.js" --bundle --format=esm --external:fs --external:path --external:crypto \
    --log-level=warning --outfile="$out/page-bundle.js"
node web/one_file.mjs "$out/site.new/index.html" "$out/site.new/style.css" "$out/page-bundle.js" \
    > "$out/sphaerix.html.new"
mv "$out/sphaerix.html.new" "$out/sphaerix.html"
rm -rf "$out/site"
mv "$out/site.new" "$out/site"
echo "site: $(cd "$out/site" && pwd)"
echo "one file: $(cd "$out" && pwd)/sphaerix.html"
