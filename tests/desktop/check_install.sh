#!/bin/sh
# The installed tree of the emulator, as `cmake --install` (DESTDIR honoured) or the
# Debian package lays it out:
#   - the program, the demo catalogue, the desktop entry, the icons, the metadata and
#     the file types are in place, and pass desktop-file-validate, appstreamcli
#     validate --no-net and update-mime-database when those are installed;
#   - with the whole tree read-only, the program keeps its session in the user's data
#     folder: a first run (given a demo) is ended by SIGTERM, which closes the window
#     and writes OnClose.NevLVE there; a second run restores that session.
#
#   check_install.sh BUILD_DIR [PACKAGE.deb]
# Exit status 0 passed, 1 failed, 77 passed but the validators were missing (skipped).
set -u
BUILD=$(cd "$1" && pwd)
DEB=${2:-}
ID=org.nevemulator.NevEmulator
WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The tree: the package unpacked, or an install through DESTDIR into a prefix.
if [ -n "$DEB" ]; then
    dpkg-deb -x "$DEB" "$WORK/root" || fail "cannot unpack $DEB"
    PREFIX=$WORK/root/usr
else
    DESTDIR=$WORK/root cmake --install "$BUILD" --prefix /opt/nev >"$WORK/install.log" 2>&1 ||
        { cat "$WORK/install.log"; fail "cmake --install"; }
    PREFIX=$WORK/root/opt/nev
fi
SHARE=$PREFIX/share

for f in bin/nevemulator share/nevemulator/GAMES/index.ini share/nevemulator/GAMES/snake.lvt \
         share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml share/mime/packages/$ID.xml \
         share/icons/hicolor/scalable/apps/$ID.svg share/icons/hicolor/16x16/apps/$ID.png \
         share/icons/hicolor/256x256/apps/$ID.png; do
    [ -e "$PREFIX/$f" ] || fail "missing $f"
done
echo "installed tree complete"

missing=""
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$SHARE/applications/$ID.desktop" || fail "desktop-file-validate"
    echo "desktop-file-validate: ok"
else missing="$missing desktop-file-validate"; fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$SHARE/metainfo/$ID.metainfo.xml" || fail "appstreamcli validate"
else missing="$missing appstreamcli"; fi
if command -v update-mime-database >/dev/null; then
    cp -r "$SHARE/mime" "$WORK/mime"
    XDG_DATA_DIRS=$WORK update-mime-database "$WORK/mime" 2>"$WORK/mime.log" || { cat "$WORK/mime.log"; fail "update-mime-database"; }
    [ -s "$WORK/mime.log" ] && { cat "$WORK/mime.log"; fail "update-mime-database complained"; }
    for t in application/x-lvov-tape application/x-lvov-dump application/x-nevemulator-snapshot; do
        grep -qx "$t" "$WORK/mime/types" || fail "MIME type $t not registered"
        grep -q "$t" "$SHARE/applications/$ID.desktop" || fail "the desktop entry does not declare $t"
    done
    echo "update-mime-database: ok"
else missing="$missing update-mime-database"; fi

# The session of a read-only installed copy.
chmod -R a-w "$WORK/root"
export HOME=$WORK/home XDG_DATA_HOME=$WORK/data QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
DATA=$XDG_DATA_HOME/nevemulator
# Starts the program and ends it with SIGTERM. A signal that comes before the program
# listens for it kills it (status 143): then it is tried again, waiting longer.
run_and_close() {
    for wait in 1 2 4 8; do
        "$PREFIX/bin/nevemulator" "$@" >"$WORK/run.log" 2>&1 &
        pid=$!
        sleep "$wait"
        kill -TERM "$pid"
        wait "$pid"
        status=$?
        [ "$status" -eq 0 ] && return 0
        [ "$status" -ne 143 ] && { cat "$WORK/run.log"; fail "the program ended with status $status"; }
    done
    fail "the program never answered SIGTERM"
}
run_and_close "$SHARE/nevemulator/GAMES/palette.lvt"
[ -f "$DATA/OnClose.NevLVE" ] || fail "no OnClose.NevLVE in the user's data folder"
find "$WORK/root" -name '*.NevLVE' | grep -q . && fail "a snapshot was written into the installed tree"
cp "$DATA/OnClose.NevLVE" "$WORK/first.NevLVE"
run_and_close
# The second run restored the first run's session and closed with it: both close
# snapshots, run on for a second (the demo may have been ended before it finished
# drawing), show the demo's still picture, which a plain boot does not.
shot() { "$PREFIX/bin/nevemulator" --headless --dir "$WORK" --frames 50 --screenshot "$2" ${1:+"$1"} || fail "headless"; }
shot "$WORK/first.NevLVE" "$WORK/first.png"
shot "$DATA/OnClose.NevLVE" "$WORK/second.png"
shot "" "$WORK/boot.png"
cmp -s "$WORK/first.png" "$WORK/second.png" || fail "the second run did not restore the first run's session"
cmp -s "$WORK/first.png" "$WORK/boot.png" && fail "the first run's session looks like a plain boot"
echo "read-only installed copy: session kept in $DATA and restored"

if [ -n "$missing" ]; then
    echo "SKIPPED (not installed):$missing"
    exit 77
fi
exit 0
