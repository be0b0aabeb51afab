#!/usr/bin/env bash
# Sets up, builds everything and runs the whole test suite (the command CI runs).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
build_dir="${VELLOMIRE_BUILD_DIR:-build}"
[[ "$build_dir" = /* ]] || build_dir="$root/$build_dir"
jobs="$(nproc)"

# Two instrumented builds with clang (cmake/Sanitizers.cmake): AddressSanitizer and
# UndefinedBehaviorSanitizer with the fuzz targets, and ThreadSanitizer.
clang_build() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "$@"
    cmake --build "$dir" -j"$jobs"
}
clang_build "$build_dir-asan" -DVELLOMIRE_SANITIZERS=address,undefined -DVELLOMIRE_FUZZING=ON
clang_build "$build_dir-tsan" -DVELLOMIRE_SANITIZERS=thread

# The plug-in build; its ctest run takes in the instrumented builds' tests.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
    -DVELLOMIRE_SANITIZER_BUILD_DIRS="$build_dir-asan;$build_dir-tsan"
cmake --build "$build_dir" -j"$jobs"

# Block cost while playing, while the tail decays and in long silence: prints the figures, fails
# only on non-finite output or a tail that never reaches silence.
"$build_dir/vellomire-tail-bench" 30

ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
