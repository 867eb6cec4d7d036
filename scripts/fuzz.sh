#!/usr/bin/env bash
# Builds the fuzz programs (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz and
# runs each from its seed corpus for a bounded time. Fails when any program finds a crash, a leak, a hang or a
# broken property.
#
#   scripts/fuzz.sh [--seconds N] [--jobs N] [--fresh] [PROGRAM...]
#
#   --seconds N  time per program (default: $FUZZ_SECONDS, else 45)
#   --jobs N     programs run side by side (default: the number of processors)
#   --fresh      forget the inputs earlier runs found
#   PROGRAM      fuzz_batch, fuzz_registry_script, ... (default: every program with a seed corpus)
#
# The seeds under tests/fuzz/corpus/PROGRAM are only read. What a run finds goes to build-fuzz/fuzz-corpus/PROGRAM,
# crash inputs to build-fuzz/fuzz-crashes/PROGRAM/, each program's output to build-fuzz/fuzz-logs/PROGRAM.log.
# Replay a crash input:  build-fuzz/tests/fuzz/PROGRAM INPUT
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-45}
jobs=$(nproc)
fresh=0
programs=()
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --fresh) fresh=1; shift ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) programs+=("$1"); shift ;;
  esac
done
targets=("${programs[@]}")
if ((${#programs[@]} == 0)); then
  for dir in tests/fuzz/corpus/*/; do programs+=("$(basename "$dir")"); done
  targets=(fuzz)
fi
for p in "${programs[@]}"; do
  [[ -d tests/fuzz/corpus/$p ]] || { echo "fuzz.sh: no program $p (no seeds under tests/fuzz/corpus/$p)" >&2; exit 2; }
done

build=build-fuzz
start=$SECONDS
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQORVENA_FUZZ=ON -DQORVENA_WITH_UI=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"
echo "fuzz build: $((SECONDS - start)) s"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run() {
  local p=$1
  local work=$build/fuzz-corpus/$p crashes=$build/fuzz-crashes/$p log=$build/fuzz-logs/$p.log
  ((fresh)) && rm -rf "$work"
  mkdir -p "$work" "$crashes" "$build/fuzz-logs"
  local args=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$crashes/")
  [[ -f tests/fuzz/dict/$p.dict ]] && args+=(-dict="tests/fuzz/dict/$p.dict")
  local status=0
  "$build/tests/fuzz/$p" "${args[@]}" "$work" "tests/fuzz/corpus/$p" >"$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ((status == 0)); then
    printf '%-24s ok      %10s runs\n' "$p" "${runs:-?}"
  else
    printf '%-24s FAILED  %10s runs (exit %d), see %s\n' "$p" "${runs:-?}" "$status" "$log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*property broken|.*runtime error|artifact_prefix|Test unit written)' "$log" \
      | head -20 | sed 's/^/    /'
    return 1
  fi
}

failed=0
pids=()
names=()
for p in "${programs[@]}"; do
  run "$p" &
  pids+=($!)
  names+=("$p")
  if ((${#pids[@]} >= jobs)); then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done

echo "fuzzing: $((SECONDS - start)) s in all"
if ((failed)); then
  echo "fuzzing found faults: the inputs are under $build/fuzz-crashes/" >&2
  exit 1
fi
