# Sourced by the root scripts: installs the Debian packages the build and the tests need, once.
# Both Qt majors: Qt 6 is the default build, Qt 5.15 the one of ./test.sh --qt5.
# Each brings its SQL drivers and its Wayland platform; Qt 6's CMake files
# also want the OpenGL headers.
MIRT_PACKAGES=(cmake make g++ pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-wayland libgl-dev
  qtbase5-dev qtbase5-dev-tools libqt5network5 libqt5sql5-sqlite libqt5sql5-psql qtwayland5 libpq-dev
  postgresql openssl fonts-urw-base35 dbus libxml2-dev groff-base
  xvfb x11-utils at-spi2-core python3-pyatspi weston)

mirt_install_deps() {
  local missing=() p
  for p in "${MIRT_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
