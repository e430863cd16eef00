#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for a set time each, from the seed corpus in the
# repository plus the corpus grown by earlier runs in the build folder, and prints one summary line
# a target: executions, coverage, corpus size, findings. Exit status 1 when any target found
# something; its input lies under <build>/fuzz-artifacts/<target>/.
#
#   tests/fuzz/run_fuzzers.sh <build-dir> <seconds-per-target> [target...]
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(header_summary company_key_file image_name package_builders command_line package_scan info_command)
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

summary=()
failed=0
for target in "${targets[@]}"; do
  program="$build/tests/fuzz/fuzz_$target"
  if [ ! -x "$program" ]; then
    echo "no fuzz target $target at $program" >&2
    exit 2
  fi
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  marker="$artifacts/.started"
  touch "$marker"
  echo "== $target: ${seconds}s"
  # New inputs go to the first folder (in the build tree); the seeds in the repository stay as they are.
  "$program" "$work" "$here/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -dict="$here/kestrane.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
    >"$log" 2>&1
  status=$?
  done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)"
  runs="$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$log" | tail -1)"
  cov="$(echo "$done_line" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')"
  ft="$(echo "$done_line" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')"
  corp="$(echo "$done_line" | sed -n 's/.*corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p')"
  speed="$(echo "$done_line" | sed -n 's/.*exec\/s: \([0-9]*\).*/\1/p')"
  findings="$(find "$artifacts" -type f ! -name .started -newer "$marker" | wc -l)"
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -E 'ERROR|runtime error|property does not hold|SUMMARY' "$log" | head -5
    echo "   (full log: $log)"
  fi
  summary+=("$(printf '%-18s exit %-3s runs %-10s exec/s %-7s cov %-6s ft %-6s corpus %-12s findings %s' \
    "$target" "$status" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$findings")")
done

echo
echo "Fuzzing summary (${seconds}s a target):"
printf '  %s\n' "${summary[@]}"
exit "$failed"
