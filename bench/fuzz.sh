#!/usr/bin/env bash
# Fuzzes the decoders a client's bytes reach on the server: fuzz_frame (TCP frames, the
# message decoder and the dispatcher), fuzz_http (the HTTP parser) and fuzz_filter (the
# file-list request record and the filter and order grammar). Not part of CI.
#
# Configures build-fuzz with clang and -DQIRA_FUZZ=ON, builds only the fuzz targets and
# their libraries, then runs each target for FUZZ_SECONDS (default 120) on a scratch
# corpus under build-fuzz/fuzz-run (kept between runs) seeded from tests/fuzz/corpus and
# the past findings in tests/fuzz/regressions. Every crash, timeout, leak or out-of-memory
# input is copied to tests/fuzz/regressions/<target>/, where the test suite's
# fuzz/<target>_replay runs it from then on. Prints a summary per target (executions,
# coverage, corpus size, findings) and exits 1 when something was found.
#
#   FUZZ_SECONDS=180 bench/fuzz.sh [target...]
#   build-fuzz/tests/fuzz/fuzz_frame tests/fuzz/regressions/frame/<file>   # reproduce one
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-120}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(frame http filter)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQIRA_FUZZ=ON -DQIRA_BUILD_TESTS=OFF -DQIRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

found=0
summary=()
for target in "${targets[@]}"; do
  run="$build/fuzz-run/$target"
  mkdir -p "$run/corpus" "$run/artifacts"
  rm -f "$run/artifacts"/*
  cp -n "$root/tests/fuzz/corpus/$target"/* "$run/corpus/"
  # Past findings are good seeds: they sit next to the faults found so far.
  if [ -d "$root/tests/fuzz/regressions/$target" ]; then
    cp -n "$root/tests/fuzz/regressions/$target"/* "$run/corpus/"
  fi
  echo "== fuzz_$target: $seconds s, log in $run/log"
  # One worker process that restarts after a finding, so one run collects them all.
  (cd "$run" && "$build/tests/fuzz/fuzz_$target" corpus -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
     -ignore_ooms=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
     -artifact_prefix=artifacts/ >log 2>&1) || true

  stats=$(grep -E '^#[0-9]+:' "$run/log" | tail -n 1 || true)
  runs=$(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$stats")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$stats")
  features=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$stats")
  corpus=$(ls "$run/corpus" | wc -l)
  findings=0
  mkdir -p "$root/tests/fuzz/regressions/$target"
  for artifact in "$run/artifacts"/*; do
    [ -f "$artifact" ] || continue
    name=$(basename "$artifact")
    kind=${name%%-*}
    short="$kind-$(sha1sum "$artifact" | cut -c1-12)"
    cp "$artifact" "$root/tests/fuzz/regressions/$target/$short"
    echo "   finding: tests/fuzz/regressions/$target/$short"
    findings=$((findings + 1))
  done
  rmdir --ignore-fail-on-non-empty "$root/tests/fuzz/regressions/$target"
  [ "$findings" -eq 0 ] || found=1
  summary+=("$(printf 'fuzz_%-7s runs %-10s cov %-6s ft %-7s corpus %-6s findings %s' \
    "$target" "${runs:-?}" "${cov:-?}" "${features:-?}" "$corpus" "$findings")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$found"
