#!/usr/bin/env bash
# Builds the fuzzing lane and runs its targets (all, or the ones named) one after the other,
# each for a time or a number of inputs, then prints per target the inputs run, the rate, the
# coverage (libFuzzer's cov: and ft:) and the crashes found. Each target works on a corpus of
# its own outside the tree (build/fuzz/work/<target>, seeded from fuzz/corpus/<target> and
# the build's seeds), and what crashes goes to build/fuzz/artifacts/<target>/: a crash worth
# keeping is copied into fuzz/corpus/<target>/ once it is fixed.
#
#   scripts/fuzz.sh [SECONDS | --runs N] [TARGET...]     (default: 60 seconds each)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1

. "$root/scripts/tools.sh"

limit=(-max_total_time=60)
case "${1:-}" in
--runs)
  limit=(-runs="${2:?--runs needs a count}")
  shift 2
  ;;
[0-9]*)
  limit=(-max_total_time="$1")
  shift
  ;;
esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do
    targets+=("$(basename "$dir")")
  done
fi

if ! install_fuzz_tools; then
  say "the fuzzing lane needs clang with libFuzzer"
  exit 1
fi
say "building the fuzz lane"
# The machine is shared: two jobs at most.
configure_preset fuzz >/dev/null && nice cmake --build --preset fuzz -j 2 || exit 1

lane="$root/build/fuzz"
summary=()
status=0
for target in "${targets[@]}"; do
  program="$lane/fuzz/fuzz_$target"
  if [ ! -x "$program" ]; then
    say "no fuzz target $target"
    status=1
    continue
  fi
  work="$lane/work/$target"
  artifacts="$lane/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null
  cp -n "$lane"/seeds/"$target"/* "$work"/ 2>/dev/null
  before=$(find "$artifacts" -type f | wc -l)
  log="$lane/work/$target.log"
  say "fuzzing $target (${limit[*]})"
  # A crash ends the run; -timeout: an input stuck for 30 s counts as one.
  nice -n 10 "$program" "${limit[@]}" -print_final_stats=1 -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1
  code=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(($(find "$artifacts" -type f | wc -l) - before))
  if [ "$code" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    grep -m1 -E 'ERROR|==[0-9]+==|deadly signal|runtime error' "$log"
  fi
  summary+=("$(printf '%-16s %10s %8s %6s %7s %8s' "$target" "${runs:-?}" "${rate:-?}" \
    "${cov:-?}" "${ft:-?}" "$found")")
done

say "results (logs and working corpora in build/fuzz/work, crashes in build/fuzz/artifacts)"
printf '%-16s %10s %8s %6s %7s %8s\n' target executions exec/s cov ft crashes
printf '%s\n' "${summary[@]}"
exit $status
