#!/usr/bin/env bash
# Upload throughput into the simulated player through the player driver (bench_upload),
# against `cp` of the same 100 MB file on the same disk, alternating, in one run. Each
# side copies the same warm source file into a new file beside it; the median round of
# each side counts.
#
#   bench/upload.sh                    # build dir: $TOVARIN_BUILD_DIR or build/release
#   BENCH_ROUNDS=7 BENCH_MB=100 bench/upload.sh
#
# The work folder is made under $BENCH_DIR (default: the build folder), so source and
# copies lie on one disk; it is removed at the end. Exit status 1 when the goal (at least
# 80% of cp's throughput) is missed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TOVARIN_BUILD_DIR:-$here/build/release}"
rounds="${BENCH_ROUNDS:-5}"
megabytes="${BENCH_MB:-100}"

command -v cmake >/dev/null || { echo "upload.sh: cmake is not installed (scripts/setup)" >&2; exit 2; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bench_upload >/dev/null

work="$(mktemp -d "${BENCH_DIR:-$build}/tovupload.XXXXXX")"
trap 'rm -rf "$work"' EXIT

head -c "$((megabytes * 1024 * 1024))" /dev/urandom >"$work/source.bin"
cat "$work/source.bin" >/dev/null  # warm: both sides read it from the page cache

now() { date +%s.%N; }
cp_times=()
drv_times=()
for _ in $(seq "$rounds"); do
  rm -f "$work/cp.bin"
  start="$(now)"
  cp "$work/source.bin" "$work/cp.bin"
  end="$(now)"
  cp_times+=("$(awk -v a="$end" -v b="$start" 'BEGIN { printf "%.6f", a - b }')")
  rm -f "$work/cp.bin"

  line="$("$build/bin/bench_upload" "$work/source.bin" "$work/driver" 1)"
  drv_times+=("${line#upload }")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cp_median="$(median "${cp_times[@]}")"
drv_median="$(median "${drv_times[@]}")"
awk -v mb="$megabytes" -v c="$cp_median" -v d="$drv_median" -v n="$rounds" 'BEGIN {
  cpr = mb / c; drr = mb / d; ratio = drr / cpr;
  printf "file: %d MB, %d rounds each, medians\n", mb, n;
  printf "cp:                %8.3f s  %8.1f MB/s\n", c, cpr;
  printf "driver upload:     %8.3f s  %8.1f MB/s\n", d, drr;
  printf "driver / cp:       %8.2f   (goal >= 0.80)\n", ratio;
  exit (ratio >= 0.8) ? 0 : 1;
}'
