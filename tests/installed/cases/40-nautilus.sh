# The Nautilus script, run as Nautilus runs it: in the folder of the chosen files, their
# names relative to it as arguments, and their whole paths in
# NAUTILUS_SCRIPT_SELECTED_FILE_PATHS (one a line); also with the arguments alone.
script="$desktop/nautilus/scripts/Send to Ombrix Jukebox"
[ -x "$script" ] || fail "no Nautilus script $script"
folder="$work/nautilus folder"
make_mp3 "$folder/first song.mp3" "Nautilus First"
make_mp3 "$folder/second song.mp3" "Nautilus Second"
(cd "$folder" && NAUTILUS_SCRIPT_SELECTED_FILE_PATHS="$folder/first song.mp3"$'\n'"$folder/second song.mp3"$'\n' \
  "$script" "first song.mp3" "second song.mp3" </dev/null) || [ $? = 1 ]
wait_for "Audio Tracks" "Nautilus First"
wait_for "Audio Tracks" "Nautilus Second"
make_mp3 "$folder/third song.mp3" "Nautilus Third"
(cd "$folder" && unset NAUTILUS_SCRIPT_SELECTED_FILE_PATHS && "$script" "third song.mp3" </dev/null) || [ $? = 1 ]
wait_for "Audio Tracks" "Nautilus Third"
