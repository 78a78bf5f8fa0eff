# The desktop entry, started as a desktop starts it, sends the file it is given.
entry="$desktop/applications/tovarinj1.desktop"
[ -f "$entry" ] || fail "no desktop entry $entry"
make_mp3 "$work/entry/from the desktop entry.mp3" "Desktop Entry"
gio launch "$entry" "$work/entry/from the desktop entry.mp3"
wait_for "Audio Tracks" "Desktop Entry"
