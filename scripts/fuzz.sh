#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (installing clang and its runtime
# when missing) and runs each for FUZZ_SECONDS seconds (default 60), FUZZ_JOBS
# at a time (default 1). Corpora grow in $FUZZ_BUILD_DIR/corpus between runs;
# a crash leaves its input in $FUZZ_BUILD_DIR/artifacts.
#
# Usage: scripts/fuzz.sh [TARGET...]   (all targets when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-1}"
build="$(realpath -m "${FUZZ_BUILD_DIR:-build-fuzz}")"

packages=(clang libclang-rt-14-dev python3)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "fuzz: installing ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
bash scripts/install-deps.sh

if [ ! -f "$build/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRPAUDIT_FUZZ=ON \
    -DGRPAUDIT_TESTS=OFF
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do
    n=$(basename "$f" .cpp)
    targets+=("${n%_fuzz}")
  done
fi

rm -rf "$build/seeds"
python3 scripts/fuzz-seeds.py "$build/seeds" examples/*.json tests/data/*.json
mkdir -p "$build/logs" "$build/artifacts"

run_one() {
  local t="$1"
  mkdir -p "$build/corpus/$t" "$build/seeds/$t"
  if "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
    "$build/corpus/$t" "$build/seeds/$t" >"$build/logs/$t.log" 2>&1; then
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$t.log" | tail -1)
    echo "fuzz: $t: ${seconds} s, ${runs:-?} runs, no finding"
  else
    echo "fuzz: $t: FAILED, see $build/logs/$t.log and $build/artifacts/" >&2
    return 1
  fi
}

failed=0
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
