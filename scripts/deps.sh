#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tapisto needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
    qt6-wayland qt6-translations-l10n
    libjpeg62-turbo-dev libjpeg-turbo-progs
    libx11-dev libxres-dev libxrandr-dev
    libemf2svg-dev libwmf-dev
    libexpat1-dev fonts-urw-base35
    file
    libpng-dev libgif-dev libwebp-dev libtiff-dev zlib1g-dev libisal-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-apps x11-utils trayer fonts-ipafont-gothic openbox
    dbus-daemon libglib2.0-bin dconf-gsettings-backend gsettings-desktop-schemas
    libvips-tools imagemagick
    feh xwallpaper hsetroot nitrogen
    valgrind
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "deps.sh: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
