# The launchers are offered to send files, never as the computer's player: no desktop
# default for any type names them, and the menus' "Play in ..." names a real player.
for type in audio/mpeg audio/x-mpegurl audio/mpegurl audio/x-scpls audio/flac audio/ogg inode/directory; do
  default="$(xdg-mime query default "$type" 2>/dev/null || true)"
  case "$default" in tovarin*) fail "xdg-mime opens $type with $default" ;; esac
  gio mime "$type" 2>/dev/null | grep -q 'tovarin' && fail "gio offers a launcher for $type: $(gio mime "$type")"
done
menu="$(shellhost_script "view Audio Tracks" "select 0" "popup")"
echo "$menu"
grep -q 'Play in ' <<<"$menu" || fail "no \"Play in\" entry in the track's menu"
grep -q 'Play in Send to' <<<"$menu" && fail "the track's menu plays in a launcher"
exit 0
