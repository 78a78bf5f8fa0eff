# The media player's stand-in loads its plug-in copy of the library and lists the player's
# tracks.
[ -f "$prefix/Plugins/ml_ombrixj1.so" ] || fail "no plug-in copy in $prefix/Plugins"
out="$(printf '%s\n' tree open rows | "$prefix/mlhost" script 2>&1)"
echo "$out"
grep -q 'Ombrix Jukebox' <<<"$out" || fail "mlhost shows no entry of the plug-in"
grep -q 'Launcher tovarinj1' <<<"$out" || fail "mlhost's page lists no track sent earlier"
