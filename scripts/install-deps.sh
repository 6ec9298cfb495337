#!/bin/sh
# Installs the Debian packages the build needs, and nothing when all are present.
# --fuzz adds clang and its sanitizer and libFuzzer runtimes, which only `make fuzz` needs.
set -e
pkgs="g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libxkbcommon-dev libgtest-dev libbenchmark-dev"
# --package adds what `make package` needs (dpkg-shlibdeps); --desktop adds the
# validators of the installed desktop files too.
if [ "$1" = "--package" ]; then pkgs="$pkgs dpkg-dev"; fi
if [ "$1" = "--desktop" ]; then pkgs="$pkgs dpkg-dev desktop-file-utils appstream shared-mime-info"; fi
if [ "$1" = "--fuzz" ]; then pkgs="$pkgs clang libclang-rt-14-dev"; fi
# --lint adds the formatter and clang-tidy (make format, format-check, lint).
if [ "$1" = "--lint" ]; then pkgs="$pkgs clang-format clang-tidy"; fi
# --web adds what `make web` and `make test-web` need: Debian's emscripten (GoogleTest's
# sources come with libgtest-dev), node and npm (a node that came with its own npm is
# kept), Chromium for the page tests, and Python for the local web server.
# --bench-web adds, to those, the X server and window manager the desktop program idles in
# while `make bench-web` measures its CPU beside the page's.
if [ "$1" = "--web" ] || [ "$1" = "--bench-web" ]; then
    pkgs="$pkgs emscripten chromium python3"
    [ "$1" = "--bench-web" ] && pkgs="$pkgs xvfb openbox"
    command -v node >/dev/null 2>&1 || pkgs="$pkgs nodejs"
    command -v npm >/dev/null 2>&1 || pkgs="$pkgs npm"
fi
missing=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing missing packages:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends $missing
