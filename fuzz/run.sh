#!/bin/sh
# Builds the fuzz targets with clang and runs each for a while from its seed
# corpus. Exits non-zero when any target finds a crash or a broken property.
#
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the source tree),
# FUZZ_JOBS (build jobs, default 2), CC/CXX (default clang-14/clang++-14).
# Seeds stay untouched in fuzz/corpus/NAME; new inputs go to
# BUILD/corpus/NAME and crash reproducers to BUILD/artifacts/NAME, both
# outside git. Inputs in fuzz/regressions/NAME (faults found and fixed) are
# replayed first.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-30}
[ $# -gt 0 ] && shift
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=${*:-"fuzz_url fuzz_http_response fuzz_json fuzz_file_types fuzz_body_check fuzz_path_escaper fuzz_sim_request"}

cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER="${CC:-clang-14}" -DCMAKE_CXX_COMPILER="${CXX:-clang++-14}" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target $targets

dict_for() {
  case $1 in
    fuzz_json|fuzz_file_types|fuzz_body_check) echo "$here/dict/json.dict" ;;
    fuzz_http_response|fuzz_sim_request) echo "$here/dict/http.dict" ;;
  esac
}

failed=""
for t in $targets; do
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$work" "$artifacts"
  dict=$(dict_for "$t")
  set -- -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/"
  [ -n "$dict" ] && set -- "$@" -dict="$dict"
  echo "== $t: ${seconds}s"
  status=0
  if [ -d "$here/regressions/$t" ] && [ -n "$(ls -A "$here/regressions/$t")" ]; then
    "$build/$t" "$here/regressions/$t"/* >"$build/$t.regressions.log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
      echo "   a reported fault is still there: see $build/$t.regressions.log"
      failed="$failed $t"
      status=0
    fi
  fi
  "$build/$t" "$@" "$work" "$here/corpus/$t" >"$build/$t.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec)|cov: ' "$build/$t.log" |
    grep -E 'stat::|DONE' | sed 's/^/   /'
  if [ $status -ne 0 ]; then
    echo "   FAILED (exit $status): see $build/$t.log and $artifacts"
    failed="$failed $t"
  fi
done

if [ -n "$failed" ]; then
  echo "failing targets:$failed"
  exit 1
fi
echo "all targets ran clean"
