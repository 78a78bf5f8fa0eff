# Every program and library copy the install lays out finds every library it links, from
# where it lies.
found=0
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q $'\x7fELF' || continue
  found=$((found + 1))
  missing="$(ldd "$file" 2>&1 | grep -E 'not found|not a dynamic' || true)"
  [ -z "$missing" ] || fail "$file: $missing"
done < <(find "$prefix" -type f -print0)
[ "$found" -gt 0 ] || fail "no program or library in $prefix"
echo "$found files find their libraries"
