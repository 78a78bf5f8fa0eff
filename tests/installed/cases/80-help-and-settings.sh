# The installer's settings: the help buttons open the installed help page, and the
# installed-options mask carries the media-library copies' bits.
out="$(shellhost_script "view Audio Tracks" "command 2612")"
echo "$out"
grep -q 'Could not read url' <<<"$out" && fail "Help found no address"
address="$(tail -n 1 "$opened")"
case "$address" in file://*/help/index.html\#*) ;; *) fail "Help opened \"$address\"" ;; esac
page="${address#file://}"
page="${page%%#*}"
page="$(printf '%b' "${page//%/\\x}")"
[ -f "$page" ] || fail "the help page $page is not installed"
mask="$("$prefix/tovreg" query HKCU "$key" /v Kor_InstallResult)"
echo "$mask"
grep -qi '0x1000878' <<<"$mask" || fail "Kor_InstallResult is not what an installed product has"
