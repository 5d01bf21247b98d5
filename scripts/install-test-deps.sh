#!/usr/bin/env bash
# Installs the Debian packages that the windowed tests need, when missing and running as
# root (otherwise prints the apt-get line and fails): an X server for them (Xvfb, started
# by xvfb-run, which needs xauth), Mesa's software OpenGL, and python3-xlib, with which
# the end-to-end test sends X input through XTest and captures windows. With --manual
# also the tools for trying the program by hand on Xvfb: xdotool for input, xwd and
# ImageMagick for screenshots. The page's tests add emscripten, node and Chromium with
# its driver and Selenium.
set -euo pipefail
source "$(dirname "$0")/ensure-packages.sh"

testPackages=(xvfb xauth libgl1-mesa-dri python3-xlib "${webBuildPackages[@]}" "${webTestPackages[@]}")
if [ "${1:-}" = "--manual" ]; then
    testPackages+=(xdotool x11-apps imagemagick)
fi
ensure_packages "${testPackages[@]}"
