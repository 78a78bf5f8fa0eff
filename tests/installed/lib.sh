# What a case of the installed-copy tests may use. A case is a bash file in cases/ (run in
# name order, each in its own shell with -euo pipefail, from the working folder $work);
# it fails when it exits non-zero, and what it prints is its log.
#   $prefix $appdata $desktop   the installed copy, its application data, the desktop's data
#   $work                       a scratch folder outside the tree (the working folder)
#   $port $key                  the web interface's port, the product's settings key
#   $opened                     one line per address or file the system was asked to open
#   $build                      the build the copy was installed from (its test programs)
#   fail TEXT                   ends the case with a message
#   skip TEXT                   ends the case as not run here, with the reason
#   make_mp3 FILE TITLE         a second of tone, tagged TITLE / "Installed Artist" / "Installed Album"
#   player_has FOLDER NAME      whether the player's folder lists NAME (shellhost ls; a track
#                               by its title, shown as "Artist - Album - NN - Title")
#   wait_for FOLDER NAME        waits (up to 60 s) until the player's folder lists NAME
#   shellhost_script LINE...    runs the installed shellhost's script mode; its output

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

skip() {
  echo "SKIP: $*" >&2
  exit 77
}

make_mp3() {
  local file="$1" title="$2" wav="$work/.tone.wav"
  [ -f "$wav" ] || sox -n -r 44100 -c 2 "$wav" synth 1 sine 440 2>/dev/null || fail "sox could not make a tone"
  mkdir -p "$(dirname "$file")"
  lame --quiet -b 64 --tt "$title" --ta "Installed Artist" --tl "Installed Album" "$wav" "$file" ||
    fail "lame could not encode $file"
}

player_has() {
  local name
  while IFS=$'\t' read -r _ name _; do
    [[ "$name" == "$2" || "$name" == *" - $2" ]] && return 0
  done < <("$prefix/shellhost" ls "$1" 2>/dev/null)
  return 1
}

wait_for() {
  local i
  for i in $(seq 1 600); do
    player_has "$1" "$2" && return 0
    sleep 0.1
  done
  echo "the player's \"$1\" holds:" >&2
  "$prefix/shellhost" ls "$1" >&2 || true
  fail "\"$2\" did not arrive in \"$1\""
}

shellhost_script() {
  printf '%s\n' "$@" | "$prefix/shellhost" script 2>&1
}
