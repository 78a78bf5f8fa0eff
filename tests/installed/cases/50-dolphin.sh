# The Dolphin service menu's command, its Exec line expanded as the desktop entry rules
# say (the file's escapes, the quoting, %F the chosen files).
menu="$desktop/kio/servicemenus/tovarinj1.desktop"
[ -f "$menu" ] || fail "no service menu $menu"
make_mp3 "$work/dolphin/a \$song's \"name\".mp3" "Dolphin Song"
exec_line="$(sed -n '/^\[Desktop Action send\]/,/^\[/s/^Exec=//p' "$menu")"
[ -n "$exec_line" ] || fail "the service menu's action has no Exec line"
# The file's own escapes, then the words as a shell splits double-quoted text (the rules'
# quoting is that subset), %F as the files.
words="$(printf '%s' "$exec_line" | sed -e 's/\\s/ /g' -e 's/\\\\/\\/g')"
[[ "$words" == *"%F"* ]] || fail "the service menu's Exec takes no files: $exec_line"
words="${words//%F/\"\$@\"}"
words="${words//%%/%}"
bash -c "exec $words" _ "$work/dolphin/a \$song's \"name\".mp3" </dev/null || [ $? = 1 ]
wait_for "Audio Tracks" "Dolphin Song"
