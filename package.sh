#!/usr/bin/env bash
# Builds the Debian package in Release (without the tests) in build-package/
# and prints the path of the .deb. Install it with: apt install ./<that path>
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
# dpkg-dev brings dpkg-shlibdeps, which works out the shared-library dependencies.
mirt_install_deps dpkg-dev file

cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DMIRT_TESTS=OFF >/dev/null
cmake --build build-package -j2
rm -f build-package/*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/*.deb)
echo "$(pwd)/$deb"
