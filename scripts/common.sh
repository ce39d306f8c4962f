# Shared by the scripts: installs the Debian packages that are missing.
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq &&
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-translations-l10n libxcb1-dev fonts-comic-neue qt6-wayland
  libwayland-dev wayland-protocols qt6-base-private-dev)
# The Windows build (scripts/windows.sh): the MinGW-w64 cross-compiler with
# POSIX threads, its tools (windres…), icotool for lanchat.exe's icon, NSIS
# for the installer; then what its tests need: Wine in Xvfb, driven from
# Python.
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools icoutils nsis)
WINDOWS_TEST_PACKAGES=(wine64 xvfb xauth python3 iproute2)
TEST_PACKAGES=(xvfb xauth xdotool xclip x11-utils tcpdump nftables iproute2 dbus-daemon dbus-x11 at-spi2-core python3-pyatspi orca speech-dispatcher sway plasma-wayland-protocols
  gnome-shell gjs gir1.2-gtk-4.0 libglib2.0-bin kwin-wayland plasma-workspace plasma-desktop-data kactivitymanagerd qtwayland5 dbus-bin)

# What shows the Windows build under Wine on a virtual screen
# (scripts/wine_screenshot.sh).
WINE_PACKAGES=(wine64 xvfb xdotool x11-utils iproute2 fonts-comic-neue python3)

# configure PRESET [cmake arguments...]: configures the preset's build folder
# afresh (cmake --fresh, which keeps what is already compiled): the preset's
# settings hold, then the arguments given (-D…, or -B for another folder),
# and nothing that an earlier run gave sticks without being said again.
configure() {
  local preset=$1; shift
  cmake --preset "$preset" --fresh "$@" >/dev/null
}

# wait_for_udp_port PORT: waits up to 5 s until a socket on this host (or in
# this network namespace) is bound to UDP PORT; fails if none is.
wait_for_udp_port() {
  local hex; hex=$(printf ':%04X ' "$1")
  for _ in $(seq 100); do
    grep -q "$hex" /proc/net/udp && return 0
    sleep 0.05
  done
  return 1
}

# built_settings DIR: the lines that say what DIR's program is built with.
built_settings() {
  sed -n 's/^LANCHAT_BROADCAST_ADDRESS:[A-Z]*=/lanchat built for broadcast address /p
          s/^LANCHAT_CODEPAGE:[A-Z]*=/lanchat built for code page /p' "$1/CMakeCache.txt"
}

# windows_installer DIR: builds the installer of the Windows build in DIR
# (target installer) and says which file it wrote, for which address.
windows_installer() {
  nice -n 19 cmake --build "$1" --target installer >/dev/null || return 1
  local address; address=$(sed -n 's/^LANCHAT_BROADCAST_ADDRESS:[A-Z]*=//p' "$1/CMakeCache.txt")
  echo "Installer for broadcast address $address: $(ls "$1"/lanchat-*-"$address"-setup.exe)"
}
