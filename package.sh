#!/usr/bin/env bash
# Builds the Debian package in Release (without the tests) and prints the
# path of the .deb. Install it with: apt install ./<that path>
#
#   ./package.sh          Qt 6, in build-package/
#   ./package.sh --qt5    Qt 5.15, in build-package-qt5/
#
# Each major has a build folder of its own, so that neither build's cache
# holds the other's Qt. The package's name and version are the same for both;
# its Depends name the Qt packages of the major it was built with.
set -euo pipefail
cd "$(dirname "$0")"
qt=6
build=build-package
case "${1:-}" in
  "") ;;
  --qt5) qt=5 build=build-package-qt5 ;;
  *)
    echo "usage: ./package.sh [--qt5]" >&2
    exit 2
    ;;
esac
. tools/deps.sh
# dpkg-dev brings dpkg-shlibdeps, which works out the shared-library
# dependencies (the build's list has both Qt majors and their plugins).
mirt_install_deps dpkg-dev file

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRT_TESTS=OFF -DMIRT_QT="$qt" >/dev/null
cmake --build "$build" -j2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
echo "$(pwd)/$deb"
