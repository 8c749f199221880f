#!/bin/sh
# The desktop's and the system's view of J3: the menu entry and the AppStream
# description pass their validators, and `cmake --install` puts the program,
# the entry, the icons, the description, the file types, the manual page, the
# bash completion and the licence where a desktop, man and bash look for
# them; the installed program says the project's version.
# usage: desktop_files_test.sh SOURCE_DIR BUILD_DIR VERSION
# Exits 77 (skipped) when a validator is not installed.
set -eu
src=$1
build=$2
version=$3
data=$src/data

for tool in desktop-file-validate appstreamcli man; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

desktop-file-validate "$data/org.j3.J3.desktop"
# --no-net: the screenshots are not fetched.
appstreamcli validate --pedantic --no-net "$build/data/org.j3.J3.metainfo.xml"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
for f in bin/j3 \
         share/applications/org.j3.J3.desktop \
         share/metainfo/org.j3.J3.metainfo.xml \
         share/mime/packages/org.j3.J3.xml \
         share/icons/hicolor/scalable/apps/org.j3.J3.svg \
         share/icons/hicolor/48x48/apps/org.j3.J3.png \
         share/icons/hicolor/256x256/apps/org.j3.J3.png \
         share/man/man1/j3.1.gz \
         share/bash-completion/completions/j3 \
         share/doc/j3/copyright \
         share/doc/j3/changelog.gz; do
    if [ ! -f "$root/usr/$f" ]; then
        echo "not installed: /usr/$f"
        exit 1
    fi
done
# The entry opens files with the program it names, and the icon it names is installed.
grep -qx 'Exec=j3 %F' "$root/usr/share/applications/org.j3.J3.desktop"
grep -qx 'Icon=org.j3.J3' "$root/usr/share/applications/org.j3.J3.desktop"

# The licence: MIT, whole, as Debian's machine-readable copyright file names it.
doc=$root/usr/share/doc/j3
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright"
grep -q '^Copyright: .*The J3 developers' "$doc/copyright"
grep -q 'Permission is hereby granted, free of charge' "$doc/copyright"
grep -q '<project_license>MIT</project_license>' "$root/usr/share/metainfo/org.j3.J3.metainfo.xml"

# One version: the program, the manual page, the release entry and the changelog.
"$root/usr/bin/j3" --version >"$root/version"
if [ "$(head -n 1 "$root/version")" != "j3 $version" ]; then
    echo "j3 --version says \"$(head -n 1 "$root/version")\", the project is $version"
    exit 1
fi
for library in Qt RtMidi JACK libplist; do
    grep -q "^$library [0-9(]" "$root/version" || { echo "j3 --version names no $library"; exit 1; }
done
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$root/usr/share/metainfo/org.j3.J3.metainfo.xml"
gzip -dc "$doc/changelog.gz" | head -n 1 | grep -q "^j3 ($version) "

# The manual page renders, without a warning, with every verb and the sections it owes.
man_text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$root/usr/share/man/man1/j3.1.gz" 2>"$root/man-warnings")
if [ -s "$root/man-warnings" ]; then
    echo "man warns:"; cat "$root/man-warnings"; exit 1
fi
for want in "j3 $version" "EXIT STATUS" "ENVIRONMENT" "JACK_DEFAULT_SERVER" "FILES" \
            "org.j3.J3.plist" "COMMANDS"; do
    case $man_text in
        *"$want"*) ;;
        *) echo "the manual page has no \"$want\""; exit 1 ;;
    esac
done
# Each verb's usage, as its --help prints it.
for verb in $("$root/usr/bin/j3" --help | sed -n 's/^.*j3 \([a-z][a-z]*\).*$/\1/p' | sort -u); do
    usage=$("$root/usr/bin/j3" "$verb" --help | head -n 1)
    case $man_text in
        *"$usage"*) ;;
        *) echo "the manual page does not show \"$usage\""; exit 1 ;;
    esac
done
echo "ok"
