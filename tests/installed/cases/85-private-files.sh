# Files holding secrets, and the settings store, are readable by the person alone.
curl -fsS "http://127.0.0.1:$port/" >/dev/null
settings="$TOVARIN_HOME/registry"
[ -d "$settings" ] || fail "no settings store in $settings"
open_to_others="$(find "$settings" "$prefix" "$appdata" -maxdepth 1 \( -name '*.txt' -o -name '*.lock' -o -name 'httplog*' -o -name 'httpauth.txt' \) -perm /077 -print)"
[ -z "$open_to_others" ] || fail "open to others: $open_to_others"
[ -n "$(find "$settings" -perm /077 -print)" ] && fail "the settings store is open to others: $(ls -la "$settings")"
exit 0
