# Sourced by the root scripts: installs the Debian packages the build and the tests need, once.
MIRT_PACKAGES=(cmake make g++ pkg-config clang-format qtbase5-dev qtbase5-dev-tools libqt5network5 libqt5sql5-sqlite libqt5sql5-psql libpq-dev
  postgresql openssl fonts-urw-base35 dbus libxml2-dev groff-base
  xvfb x11-utils at-spi2-core python3-pyatspi)

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
