# Each launcher name sends a file to the player.
while IFS=$'\t' read -r launcher _; do
  make_mp3 "$work/launchers/$launcher.mp3" "Launcher $launcher"
  "$prefix/$launcher" "$work/launchers/$launcher.mp3" </dev/null || [ $? = 1 ]  # 1 whatever happened
  wait_for "Audio Tracks" "Launcher $launcher"
done < <("$prefix/tovinstall" launchers)
