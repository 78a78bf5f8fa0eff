# A launcher that cannot load its library is named in a message, and its list file does
# not stay behind.
broken="$work/broken install"
mkdir -p "$broken"
cp "$prefix/tovarinj1" "$broken/tovarinj1"
installed="$("$prefix/tovreg" query HKCU "$key" /ve | sed -n 's/.*REG_SZ *//p')"
restore() { "$prefix/tovreg" add HKCU "$key" /ve /d "$installed" >/dev/null; }
trap restore EXIT
"$prefix/tovreg" add HKCU "$key" /ve /d "$(printf '%s' "$broken" | tr / '\\')" >/dev/null
make_mp3 "$work/broken/never sent.mp3" "Never Sent"
out="$(shellhost_script "paste Audio Tracks	$work/broken/never sent.mp3")"
echo "$out"
grep -Fq "Could not start \"$broken/tovarinj1\"" <<<"$out" || fail "no message names the launcher"
lists="$(find "$TMPDIR" -name '_txman.dat' -print)"
[ -z "$lists" ] || fail "the list file stayed: $lists"
