#!/usr/bin/env bash
# Measures defprinter as a user pays for it: whole processes, from start to
# exit with the write flushed to disk, side by side with
#   - the floor: bench/floor.c, only the system calls a profile write needs;
#   - crudini --set, the INI editor a Linux user would pick instead;
# on typical profiles of 4 KB, 100 KB, 1 MB and 10 MB, with no windows
# listening. Each round runs every command in turn under hyperfine, and the
# rounds alternate, so drift of the machine falls on all of them alike.
# Then the peak memory, the microbenchmarks and the broadcast benchmark.
#
#   bench/compare.sh [ROUNDS]      (default 3; a few minutes in all)
#
# Prints the figures as Markdown tables; writes the plot of time against
# profile size to docs/performance.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
tools/setup hyperfine crudini gnuplot-nox jq time
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/floor" bench/floor.c
export XDG_RUNTIME_DIR="$work/runtime"   # an empty window station: no listeners
mkdir -p "$XDG_RUNTIME_DIR"
export WININI="$work/win.ini"
utility="$PWD/build/default/defprinter"
device="Quillmarex,winspool,Ne01:"

# The median of every run of `command` over all rounds, in milliseconds.
median_ms() {
  jq -s --arg c "$1" '[.[].results[] | select(.command == $c) | .times[]] | sort |
    (if length % 2 == 1 then .[length/2|floor] else (.[length/2-1] + .[length/2]) / 2 end) * 1000' \
    "$work"/round-*-"$2".json
}

printf '| profile | defprinter (ms) | floor (ms) | defprinter / floor | crudini (ms) | crudini / defprinter |\n'
printf '|---:|---:|---:|---:|---:|---:|\n'
: >"$work/plot.dat"
for size in 4096 102400 1048576 10485760; do
  build/default/bench/make_profile "$size" >"$work/orig.ini"
  runs=$(( size >= 10485760 ? 15 : 40 ))
  commands=("$utility" "$work/floor $WININI")
  [ "$size" -eq 4096 ] && commands+=("crudini --set $WININI windows Device $device")
  for round in $(seq "$rounds"); do
    hyperfine -N --style none --warmup 3 --runs "$runs" \
      --prepare "cp $work/orig.ini $WININI" \
      --export-json "$work/round-$round-$size.json" "${commands[@]}" >/dev/null 2>&1
  done
  # The utility really writes each time it is timed.
  cp "$work/orig.ini" "$WININI"
  "$utility"
  grep -q "^Device=$device" "$WININI" || { echo "defprinter did not write" >&2; exit 1; }
  ours=$(median_ms "$utility" "$size")
  floor=$(median_ms "$work/floor $WININI" "$size")
  crudini="" ratio=""
  if [ "$size" -eq 4096 ]; then
    crudini=$(median_ms "crudini --set $WININI windows Device $device" "$size")
    ratio=$(jq -n "$crudini / $ours | . * 10 | round / 10")
    crudini=$(jq -n "$crudini | . * 100 | round / 100")
  fi
  printf '| %s | %.2f | %.2f | %.2f | %s | %s |\n' "$(numfmt --to=iec "$size")B" "$ours" "$floor" \
    "$(jq -n "$ours / $floor")" "${crudini:--}" "${ratio:--}"
  echo "$size $ours $floor" >>"$work/plot.dat"
done

echo
printf '| profile | peak resident memory of defprinter |\n|---:|---:|\n'
for size in 4096 10485760; do
  build/default/bench/make_profile "$size" >"$work/orig.ini"
  peak=0
  for _ in 1 2 3 4 5; do
    cp "$work/orig.ini" "$WININI"
    kb=$(/usr/bin/time -f %M "$utility" 2>&1 >/dev/null)
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  printf '| %s | %s KiB |\n' "$(numfmt --to=iec "$size")B" "$peak"
done

gnuplot <<PLOT
set terminal svg size 720,440 font "sans,12"
set output "docs/performance.svg"
set title "Whole-process time of one profile write, flushed to disk"
set xlabel "profile size (bytes)"
set ylabel "median time (ms)"
set logscale xy
set key top left
set grid
plot "$work/plot.dat" using 1:2 with linespoints lw 2 title "defprinter", \
     "$work/plot.dat" using 1:3 with linespoints lw 2 title "floor (system calls only)"
PLOT

echo
build/default/bench/profile_bench --benchmark_min_time=0.2 2>/dev/null | grep -E '^BM_'
build/default/bench/broadcast_bench --benchmark_min_time=0.2 2>/dev/null | grep -E '^BM_'
