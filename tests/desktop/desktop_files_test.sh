#!/bin/sh
# The desktop's view of J3: the menu entry and the AppStream description pass
# their validators, and `cmake --install` puts the program, the entry, the
# icons, the description and the file types where a desktop looks for them.
# usage: desktop_files_test.sh SOURCE_DIR BUILD_DIR
# Exits 77 (skipped) when a validator is not installed.
set -eu
src=$1
build=$2
data=$src/data

for tool in desktop-file-validate appstreamcli; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

desktop-file-validate "$data/org.j3.J3.desktop"
appstreamcli validate --no-net "$data/org.j3.J3.metainfo.xml"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
for f in bin/j3 \
         share/applications/org.j3.J3.desktop \
         share/metainfo/org.j3.J3.metainfo.xml \
         share/mime/packages/org.j3.J3.xml \
         share/icons/hicolor/scalable/apps/org.j3.J3.svg \
         share/icons/hicolor/48x48/apps/org.j3.J3.png \
         share/icons/hicolor/256x256/apps/org.j3.J3.png; do
    if [ ! -f "$root/usr/$f" ]; then
        echo "not installed: /usr/$f"
        exit 1
    fi
done
# The entry opens files with the program it names, and the icon it names is installed.
grep -qx 'Exec=j3 %F' "$root/usr/share/applications/org.j3.J3.desktop"
grep -qx 'Icon=org.j3.J3' "$root/usr/share/applications/org.j3.J3.desktop"
echo "ok"
