#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the installed program as a user meets it:
# the layout, the desktop entry naming the installed program, the plug-ins found beside the
# installed executables (through RPATH $ORIGIN for libspilocal.so), and, for a user who cannot
# write the program's folder, the settings kept in $XDG_CONFIG_HOME/tapisto.
# Usage: install_e2e.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
chmod 755 "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install failed"; }

for f in lib/tapisto/tapisto lib/tapisto/tapistoctl lib/tapisto/libtapistoctl.so lib/tapisto/libspilocal.so \
    lib/tapisto/png.spi lib/tapisto/gif.spi lib/tapisto/webp.spi lib/tapisto/tiff.spi lib/tapisto/tapisto-spihelper \
    share/applications/org.tapisto.Tapisto.desktop share/metainfo/org.tapisto.Tapisto.metainfo.xml share/icons/hicolor/48x48/apps/tapisto.png \
    share/icons/hicolor/scalable/apps/tapisto.svg share/doc/tapisto/index.html; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
[ "$(readlink "$prefix/bin/tapisto")" = ../lib/tapisto/tapisto ] || fail "bin/tapisto is not a link to lib/tapisto/tapisto"
[ "$(readlink "$prefix/bin/tapistoctl")" = ../lib/tapisto/tapistoctl ] || fail "bin/tapistoctl is not a link"
ls "$prefix"/lib/tapisto/*.spi | grep -qv -e '/png.spi$' -e '/gif.spi$' -e '/webp.spi$' -e '/tiff.spi$' &&
    fail "a test plug-in was installed"
# The About box looks for the guide at <program folder>/../../share/doc/tapisto.
[ -f "$prefix/lib/tapisto/../../share/doc/tapisto/index.html" ] || fail "the user guide is not where the About box looks"
for img in $(grep -o 'src="images/[^"]*"' "$prefix/share/doc/tapisto/index.html" | cut -d'"' -f2); do
    [ -f "$prefix/share/doc/tapisto/$img" ] || fail "the guide's picture $img was not installed"
done
grep -qx "Exec=$prefix/bin/tapisto" "$prefix/share/applications/org.tapisto.Tapisto.desktop" || fail "the desktop entry does not start the installed program"
grep -q '^Name\[ja\]=' "$prefix/share/applications/org.tapisto.Tapisto.desktop" || fail "the desktop entry has no Japanese name"
for action in next back pause resume; do
    grep -qx "Exec=$prefix/bin/tapistoctl $action" "$prefix/share/applications/org.tapisto.Tapisto.desktop" ||
        fail "the desktop entry's action $action does not run the installed tapistoctl"
done
# The validators are not build dependencies: checked where they are installed (the package test
# installs them).
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/org.tapisto.Tapisto.desktop" || fail "the desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.tapisto.Tapisto.metainfo.xml" >"$work/appstream.out" 2>&1 ||
        { cat "$work/appstream.out"; fail "the AppStream metainfo is not valid"; }
fi

# Runs an installed program in a clean environment, as another user when we are root (root may
# write every folder, so the fallback to the XDG folder would never be taken).
user_home=$work/user
mkdir -p "$user_home/pictures"
as_user() {
    if [ "$(id -u)" -eq 0 ]; then
        chown -R nobody:nogroup "$user_home"
        setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env -i HOME="$user_home" PATH=/usr/bin:/bin LANG=C.UTF-8 TAPISTO_DESKTOP=file "$@"
    else
        env -i HOME="$user_home" PATH=/usr/bin:/bin LANG=C.UTF-8 TAPISTO_DESKTOP=file "$@"
    fi
}

# Through the link in bin, from another folder: the plug-ins are those of lib/tapisto.
(cd / && as_user "$prefix/bin/tapistoctl" plugins --plugins) >"$work/plugins.out" 2>&1 ||
    { cat "$work/plugins.out"; fail "the installed tapistoctl cannot search plug-ins"; }
for p in png gif webp tiff; do
    grep -q "^$prefix/lib/tapisto/$p.spi" "$work/plugins.out" || { cat "$work/plugins.out"; fail "$p.spi was not found"; }
done

if [ "$(id -u)" -eq 0 ] && ! command -v setpriv >/dev/null; then
    echo "PASS (layout and plug-ins; no setpriv to check the home folder as a user)"
    exit 0
fi
[ -w "$prefix/lib/tapisto" ] && [ "$(id -u)" -ne 0 ] && chmod a-w "$prefix/lib/tapisto"
# A PNG group, changed once with the plug-in option on: the output bitmap and the settings land in
# ~/.config/tapisto, nothing in the program's folder.
cp "$prefix/share/icons/hicolor/48x48/apps/tapisto.png" "$user_home/pictures/a.png"
config=$user_home/.config/tapisto
mkdir -p "$config"
printf '[Main]\r\nIdx=0\r\nfile0=%s,拡大,,\r\n' "$user_home/pictures/a.png" | iconv -f UTF-8 -t CP932 >"$config/g.dat"
printf '[Main]\r\nUseSection=g.dat\r\nOpSusie=1\r\n' >"$config/Tapisto.ini"
(cd / && as_user "$prefix/bin/tapistoctl" next) >"$work/next.out" 2>&1 || { cat "$work/next.out"; fail "tapistoctl next failed"; }
[ -s "$config/Tapisto_WallPaper.bmp" ] || fail "the wallpaper bitmap is not in ~/.config/tapisto"
grep -q '^UseIndex=0' "$config/Tapisto.ini" || fail "UseIndex was not written to ~/.config/tapisto/Tapisto.ini"
ls "$prefix/lib/tapisto" | grep -q -e '\.ini$' -e '\.bmp$' && fail "the program wrote into its installed folder"
echo "PASS"
exit 0
