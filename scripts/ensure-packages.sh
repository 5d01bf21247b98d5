#!/usr/bin/env bash
# ensure_packages PKG...: installs the Debian packages that are missing, when running as
# root; otherwise prints the apt-get line to run and fails.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building needs; all of it is on a fresh machine of ours, but a bare Debian may lack it.
buildPackages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev freeglut3-dev
               libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri libpng-dev libcli11-dev
               nlohmann-json3-dev)

# What the browser build and its tests need: emscripten for the module, node to run it
# outside a browser, esbuild to bundle the page into one file, Chromium driven by Selenium
# for the page.
webBuildPackages=(emscripten nodejs node-acorn esbuild)
webTestPackages=(chromium chromium-driver python3-selenium)
