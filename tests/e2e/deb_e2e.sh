#!/usr/bin/env bash
# The Debian package as a Debian user meets it. Builds it with cpack from BUILD_DIR, checks that it
# holds what `cmake --install --prefix /usr` installs (and no test plug-in) and that it depends on
# the run-time libraries by package name; then, in a pristine minimal Debian 12 (a debootstrap
# chroot), installs it with apt and, as a user with a fresh home, runs the installed tapistoctl and
# starts the installed tapisto on Xvfb. Xvfb, xdotool and the validators are installed in the chroot
# for the check only. Last, libwmf's fonts are taken away to see the program name their package.
# Usage: tests/e2e/deb_e2e.sh [BUILD_DIR]   (default build). The chroot part needs root and the
# Debian archive; without root it is skipped (exit 77 after the package checks).
# The pristine system is kept in /var/tmp/fresh-debian12-base.tar after the first run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd)

fail() { echo "FAIL: $*"; exit 1; }
say() { echo "== $*"; }

work=$(mktemp -d /var/tmp/tapisto-deb.XXXXXX)
root=$work/root
cleanup() {
    for m in dev/pts dev proc sys; do umount -l "$root/$m" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

say "cpack -G DEB in $build"
rm -f "$build"/tapisto_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$build"/tapisto_*_amd64.deb)
[ -f "${debs[0]}" ] && [ ${#debs[@]} -eq 1 ] || fail "cpack made no tapisto_<version>_amd64.deb: $(ls "$build"/*.deb 2>&1)"
deb=${debs[0]}
echo "$(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

say "the package holds the cmake --install layout"
DESTDIR=$work/installed cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }
dpkg-deb -x "$deb" "$work/packaged"
# Files and links, with the links' targets; folders follow from them.
layout() { (cd "$1" && find . ! -type d -printf '%p %l\n' | sort); }
diff <(layout "$work/installed") <(layout "$work/packaged") >"$work/layout.diff" ||
    { cat "$work/layout.diff"; fail "the package differs from cmake --install (< install, > package)"; }
layout "$work/packaged" | grep -v -e '^./usr/share/doc/' -e '^./usr/share/icons/' | sed 's/^/    /'
ls "$work/packaged/usr/lib/tapisto/"*.spi | grep -qv -e '/png.spi$' -e '/gif.spi$' -e '/webp.spi$' -e '/tiff.spi$' &&
    fail "a test plug-in is in the package"
grep -qx 'Exec=/usr/bin/tapisto' "$work/packaged/usr/share/applications/org.tapisto.Tapisto.desktop" ||
    fail "the packaged desktop entry does not start /usr/bin/tapisto"

say "Depends by package name"
depends=$(dpkg-deb -f "$deb" Depends)
echo "    Depends: $depends"
echo "    Recommends: $(dpkg-deb -f "$deb" Recommends)"
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libjpeg62-turbo libpng16-16 libgif7 \
    libwebp7 libtiff6 libwmf-0.2-7 libemf2svg1 fonts-urw-base35 fonts-ipafont-gothic qt6-wayland \
    qt6-translations-l10n; do
    grep -Eq "(^|[ ,|])$p( |,|$)" <<<"$depends" || fail "Depends does not name $p"
done

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing in a pristine Debian 12 needs root (debootstrap, chroot)"
    exit 77
fi

say "a pristine Debian 12"
base=/var/tmp/fresh-debian12-base.tar
mkdir -p "$root"
if [ ! -f "$base" ]; then
    command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$mirror" ] || mirror=$(awk '/^deb / {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
    debootstrap --variant=minbase --include=sudo,git,ca-certificates bookworm "$root" "$mirror" \
        >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
    tar -C "$root" -cf "$base" .
else
    tar -C "$root" -xf "$base"
fi
chmod 755 "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for m in proc sys dev dev/pts; do
    mount --bind "/$m" "$root/$m" || { echo "SKIP: cannot mount /$m in a chroot here"; exit 77; }
done
cp "$deb" "$root/root/"
cp "$source_dir/tests/data/picture/rect.wmf" "$root/tmp/rect.wmf"
chmod 644 "$root/tmp/rect.wmf"

cat >"$root/root/check.sh" <<'EOF'
set -u
fail() { echo "FAIL: $*"; exit 1; }
say() { echo "== $*"; }
export DEBIAN_FRONTEND=noninteractive
cd /root
say "apt install ./$(ls tapisto_*.deb)"
apt-get update -qq || fail "apt-get update failed"
# No recommends: what the package declares as Depends must be enough.
apt-get install -y -q --no-install-recommends ./tapisto_*.deb >apt.log 2>&1 || { tail -n 30 apt.log; fail "apt install failed"; }
echo "    packages set up: $(grep -c '^Setting up' apt.log)"
dpkg -s fonts-urw-base35 >/dev/null 2>&1 || fail "apt did not pull fonts-urw-base35"
[ -f /usr/share/qt6/translations/qtbase_ja.qm ] || fail "apt did not pull Qt's Japanese texts (qtbase_ja.qm)"
say "tools for this check only: xvfb xauth xdotool desktop-file-utils appstream"
apt-get install -y -q --no-install-recommends xvfb xauth xdotool desktop-file-utils appstream >tools.log 2>&1 ||
    { tail -n 20 tools.log; fail "installing the check's tools failed"; }
desktop-file-validate /usr/share/applications/org.tapisto.Tapisto.desktop || fail "the desktop entry is not valid"
appstreamcli validate --no-net /usr/share/metainfo/org.tapisto.Tapisto.metainfo.xml || fail "the metainfo is not valid"

useradd -m tester
as_tester() { runuser -u tester -- env -i HOME=/home/tester PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

say "tapistoctl --help (the installed /usr/bin/tapistoctl)"
cd /tmp
as_tester tapistoctl --help >help.out 2>&1 || { cat help.out; fail "tapistoctl --help failed"; }
head -n 3 help.out | sed 's/^/    /'
as_tester tapistoctl formats --plugins >formats.out 2>&1 || { cat formats.out; fail "tapistoctl formats failed"; }
grep -q 'PNG' formats.out || { cat formats.out; fail "the installed plug-ins were not found"; }
# A PNG is decoded by png.spi in the plug-in helper, which lies beside the plug-ins.
as_tester tapistoctl render /usr/share/icons/hicolor/48x48/apps/tapisto.png /home/tester/icon.bmp --plugins \
    >png.out 2>&1 || { cat png.out; fail "the installed tapistoctl cannot read a PNG through its plug-in helper"; }
as_tester tapistoctl render /tmp/rect.wmf /home/tester/rect.bmp >render.out 2>&1 ||
    { cat render.out; fail "the installed tapistoctl cannot render a WMF"; }
echo "    rendered rect.wmf: $(stat -c %s /home/tester/rect.bmp) bytes"

say "tapisto on Xvfb"
Xvfb :7 -screen 0 1024x768x24 -nolisten tcp >xvfb.log 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.1; done
runuser -u tester -- env -i HOME=/home/tester PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=:7 \
    XDG_RUNTIME_DIR=/tmp/tester-runtime tapisto >app.out 2>&1 &
app=$!
window=
for _ in $(seq 100); do
    window=$(DISPLAY=:7 xdotool search --onlyvisible --name '^Tapisto$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { cat app.out; fail "the main window of the installed tapisto did not appear"; }
sleep 3
kill -0 "$app" 2>/dev/null || { cat app.out; fail "tapisto did not stay up"; }
grep -q 'qtbase_ja' app.out && { cat app.out; fail "the installed tapisto found no Japanese texts of Qt"; }
echo "    window $window \"$(DISPLAY=:7 xdotool getwindowname "$window")\"; tapisto still running after 3 s"
[ -d /home/tester/.config/tapisto ] || fail "the installed program did not use ~/.config/tapisto"
ls /usr/lib/tapisto | grep -q -e '\.ini$' -e '\.bmp$' && fail "the program wrote into its installed folder"
kill "$app" "$xvfb" 2>/dev/null
wait 2>/dev/null

say "without libwmf's fonts the program names their package"
dpkg --remove --force-depends fonts-urw-base35 >/dev/null 2>&1 || fail "could not remove fonts-urw-base35"
if as_tester tapistoctl render /tmp/rect.wmf /home/tester/rect2.bmp >nofonts.out 2>&1; then
    fail "rendering a WMF without the fonts succeeded"
fi
sed 's/^/    /' nofonts.out
grep -q 'fonts-urw-base35' nofonts.out || fail "the message does not name fonts-urw-base35"
echo "PASS"
EOF
say "in the chroot"
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 bash /root/check.sh
