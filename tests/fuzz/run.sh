#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build/fuzz,
# replays each target's seed corpus, then fuzzes each for a while.
#
#   tests/fuzz/run.sh [seconds per target, default 60]
#
# A target is every tests/fuzz/<name>/corpus folder; new inputs found while
# fuzzing go to build/fuzz/corpus/<name>, crashes to build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
dir=build/fuzz

# clang and its fuzzer runtime, from Debian, when missing.
if ! command -v "${FUZZ_CXX:-clang++}" >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi

CXX=${FUZZ_CXX:-clang++} cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DREFLECTION_BUILD_FUZZERS=ON -DREFLECTION_BUILD_TESTS=OFF -DREFLECTION_BUILD_BENCH=OFF \
    -DREFLECTION_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$dir/artifacts"
status=0
for seeds in tests/fuzz/*/corpus; do
    name=$(basename "$(dirname "$seeds")")
    fuzzer=$dir/tests/fuzz/$name
    log=$dir/$name.log
    echo "== $name: replaying $(find "$seeds" -type f | wc -l) seeds, then fuzzing for ${seconds}s"
    mkdir -p "$dir/corpus/$name"
    if "$fuzzer" -artifact_prefix="$dir/artifacts/$name-" "$seeds"/* >"$log" 2>&1 &&
        "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/artifacts/$name-" \
            "$dir/corpus/$name" "$seeds" >"$log" 2>&1; then
        grep -E "^stat::(number_of_executed_units|new_units_added)" "$log"
    else
        tail -n 40 "$log"
        status=1
    fi
done
exit $status
