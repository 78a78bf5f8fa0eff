# shellhost's paste hands files to the library, which starts the installed launcher:
# into "Audio Tracks" (a track and a data file) and into a data folder.
make_mp3 "$work/paste/pasted song.mp3" "Pasted Song"
printf 'pasted notes\n' >"$work/paste/pasted notes.txt"
printf 'a document\n' >"$work/paste/document.txt"
out="$(shellhost_script "paste Audio Tracks	$work/paste/pasted song.mp3	$work/paste/pasted notes.txt")"
echo "$out"
grep -qi 'error\|could not' <<<"$out" && fail "the paste was refused"
wait_for "Audio Tracks" "Pasted Song"
wait_for "Data Files" "pasted notes.txt"
out="$(shellhost_script "paste Data Files	$work/paste/document.txt")"
echo "$out"
grep -qi 'error\|could not' <<<"$out" && fail "the paste was refused"
wait_for "Data Files" "document.txt"
