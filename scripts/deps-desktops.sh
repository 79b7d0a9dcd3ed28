#!/usr/bin/env bash
# Installs the desktops' own programs that tests/e2e/desktops_e2e.sh and monitors_e2e.sh run.
#   deps-desktops.sh [small|large|all]      (default all)
# small: what the test suite's desktop tests run: Xfce's xfdesktop and xfconf, LXDE's pcmanfm, LXQt's
# pcmanfm-qt, MATE's caja, sway with swaybg and grim, an X server with two monitors (Xorg, its dummy
# video driver, xrandr): about 26 MB to download. large: GNOME Shell with gnome-screenshot, KDE
# Plasma's plasmashell and Cinnamon, which only CI's desktop stage runs: about 370 MB more to
# download, 1.3 GB installed. Not needed to build or to run the other tests. Idempotent.
set -euo pipefail

small=(
    xfdesktop4 xfconf
    pcmanfm
    pcmanfm-qt
    caja
    sway swaybg grim
    xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
    procps util-linux
)
large=(
    gnome-shell gnome-screenshot
    plasma-workspace plasma-desktop
    cinnamon
)
case ${1:-all} in
small) packages=("${small[@]}") ;;
large) packages=("${large[@]}") ;;
all) packages=("${small[@]}" "${large[@]}") ;;
*) echo "usage: deps-desktops.sh [small|large|all]" >&2 && exit 2 ;;
esac

# Only what is not installed yet, so a machine that has everything never touches apt.
read -r -a missing <<<"$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>&1 |
    awk '$1 != "ii" { print $NF }' | tr '\n' ' ')"
[ ${#missing[@]} -gt 0 ] || exit 0

echo "deps-desktops.sh: installing ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
