#!/usr/bin/env bash
# Builds and runs this project on Debian 12. Installs what is missing first.
#
#   ./build.sh example           build the examples; run the inspector on a scripted
#                                session over the sample scene
#   ./build.sh test              build and run every test
#   ./build.sh test --sanitize address,undefined
#                                the same, instrumented (own build folder)
#   ./build.sh test --only REGEX only the test targets whose name matches
#                                REGEX (e.g. signal), built and run
#   ./build.sh bench             build in Release and run the benchmarks
#   ./build.sh package           build the Debian package (build/release/*.deb)
#                                and an outside project that uses the library
#                                through add_subdirectory()
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ ninja-build pkg-config libboost-dev libexpat1-dev libgtest-dev libbenchmark-dev)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

configure() { # folder, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

jobs=$(nproc 2>/dev/null || echo 2)
what=${1:-}
shift || true
sanitize=""
only=""
while (($#)); do
    case $1 in
        --sanitize) sanitize=$2; shift 2 ;;
        --only) only=$2; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

# The benchmarks also run the same cases through RTTR and Qt, and the XML
# ones through Boost.Serialization (optional peers, never needed by the
# library or its tests), and tabulate them with Python.
if [ "$what" = bench ]; then packages+=(python3 librttr-dev qt6-base-dev libboost-serialization-dev); fi
if [ "$what" = package ]; then packages+=(dpkg-dev); fi
install_missing
case $what in
    example)
        configure build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build build/release -j"$jobs" --target inspector editor_session
        # The inspector edits a copy of the sample scene, through the scripted
        # session, and saves it there; the bundled scene stays as it is.
        mkdir -p build/release/demo
        cp examples/inspector/sample_scene.xml build/release/demo/scene.xml
        ./build/release/examples/inspector/inspector build/release/demo/scene.xml <examples/inspector/demo_session.txt
        ;;
    test)
        if [ -n "$sanitize" ]; then
            dir=build/sanitize-${sanitize//,/-}
            configure "$dir" -DCMAKE_BUILD_TYPE=Debug -DREFLECTION_SANITIZE="$sanitize" -DREFLECTION_BUILD_BENCH=OFF
            export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
            export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
            export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
        else
            dir=build/release
            configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        fi
        if [ -z "$only" ]; then
            cmake --build "$dir" -j"$jobs"
            ctest --test-dir "$dir" -j"$jobs" --output-on-failure
        else
            # Tests are registered as <target>.<Suite>.<Case>, so the same
            # expression selects the targets and their tests.
            mapfile -t targets < <(sed -n 's/^reflection_add_test(\([A-Za-z0-9_]*\).*/\1/p' tests/CMakeLists.txt | grep -E -- "$only" || true)
            if ((${#targets[@]} == 0)); then echo "no test target matches '$only'" >&2; exit 2; fi
            cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
            ctest --test-dir "$dir" -j"$jobs" --output-on-failure --no-tests=error -R "^($(IFS='|'; echo "${targets[*]}"))\\."
        fi
        ;;
    bench)
        dir=build/bench
        configure "$dir" -DCMAKE_BUILD_TYPE=Release -DREFLECTION_BUILD_TESTS=OFF -DREFLECTION_BUILD_EXAMPLES=OFF
        cmake --build "$dir" -j"$jobs"
        # Every program five times; the table takes the medians.
        rm -rf "$dir/results" && mkdir -p "$dir/results"
        for b in "$dir"/bench/*_bench; do
            echo "== $(basename "$b")"
            "$b" --benchmark_repetitions=5 --benchmark_display_aggregates_only=true --benchmark_min_time=0.1 \
                --benchmark_out="$dir/results/$(basename "$b").json" --benchmark_out_format=json
        done
        python3 bench/make_results.py --build-dir "$dir" --out bench/RESULTS.md "$dir"/results/*.json
        echo "Wrote bench/RESULTS.md"
        ;;
    package)
        dir=build/release
        configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build "$dir" -j"$jobs"
        (cd "$dir" && cpack -G DEB)
        dpkg-deb --field "$dir"/*.deb Package Version Depends
        # The other way in: the library as a subdirectory of the outside project.
        cmake -S tests/consumer -B build/consumer-subdirectory -G Ninja -DREFLECTION_SOURCE_DIR="$PWD" >/dev/null
        cmake --build build/consumer-subdirectory -j"$jobs" --target consumer
        ./build/consumer-subdirectory/consumer
        ;;
    *)
        sed -n '2,12p' "$0"; exit 2 ;;
esac
