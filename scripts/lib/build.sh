# shellcheck shell=bash
# Configuring and building: the main build in build/, the libFuzzer build in build-fuzz/.
# Sourced by scripts/run and scripts/test.

QUILLFEN_JOBS=${QUILLFEN_JOBS:-$(nproc)}
# The build folders; a developer may point them elsewhere to keep several builds apart.
QUILLFEN_BUILD=${QUILLFEN_BUILD:-$QUILLFEN_ROOT/build}
QUILLFEN_FUZZ_BUILD=${QUILLFEN_FUZZ_BUILD:-$QUILLFEN_ROOT/build-fuzz}
QUILLFEN_SANITIZE_BUILD=${QUILLFEN_SANITIZE_BUILD:-$QUILLFEN_ROOT/build-sanitize}

# The optimised build everything runs from: -O2 with debug information. (-O3 sets off false
# -Wrestrict warnings in GCC 12's string code, which -Werror turns into errors.)
build_main() {
    echo "== building in $QUILLFEN_BUILD"
    cmake -S "$QUILLFEN_ROOT" -B "$QUILLFEN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$QUILLFEN_BUILD" -j "$QUILLFEN_JOBS"
}

# The unit tests once more under ASan and UBSan (Debug): the write path handles page bytes by
# hand, and a sanitizer sees what a passing assertion cannot. The oracle comparisons are not
# repeated there.
build_and_run_sanitized_tests() {
    echo "== building the unit tests with ASan and UBSan in $QUILLFEN_SANITIZE_BUILD"
    cmake -S "$QUILLFEN_ROOT" -B "$QUILLFEN_SANITIZE_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DQUILLFEN_SANITIZE=ON &&
        cmake --build "$QUILLFEN_SANITIZE_BUILD" -j "$QUILLFEN_JOBS" \
            --target jet_tests cli_tests db_tests quillfen-db &&
        echo "== running the unit tests with ASan and UBSan" &&
        "$QUILLFEN_SANITIZE_BUILD/tests/jet_tests" --gtest_brief=1 </dev/null &&
        "$QUILLFEN_SANITIZE_BUILD/tests/cli_tests" --gtest_brief=1 </dev/null &&
        "$QUILLFEN_SANITIZE_BUILD/tests/db_tests" --gtest_brief=1 </dev/null
}

# Whether tests/fuzz has a CMakeLists.txt with anything in it (the targets come later).
fuzz_targets_defined() {
    local file="$QUILLFEN_ROOT/tests/fuzz/CMakeLists.txt"
    [[ -f $file ]] && grep -Eqv '^[[:space:]]*(#.*)?$' "$file"
}

# The libFuzzer targets with ASan and UBSan: what tests/fuzz needs, nothing else. Assertions
# stay on (no NDEBUG): they are half of what a fuzzer finds.
build_fuzz() {
    echo "== building the fuzz targets in $QUILLFEN_FUZZ_BUILD"
    cmake -S "$QUILLFEN_ROOT" -B "$QUILLFEN_FUZZ_BUILD" -G Ninja \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DQUILLFEN_FUZZ=ON -DQUILLFEN_SANITIZE=ON -DQUILLFEN_TESTS=OFF &&
        cmake --build "$QUILLFEN_FUZZ_BUILD" -j "$QUILLFEN_JOBS" --target tests/fuzz/all
}

# Runs every fuzz_* executable in build-fuzz/tests/fuzz for QUILLFEN_FUZZ_SECONDS each, from
# its corpus in tests/fuzz/corpus/<name> when there is one. New inputs go to a scratch
# folder, crashing inputs to build-fuzz/artifacts/. Returns non-zero if any target failed.
run_fuzz() {
    local seconds=${QUILLFEN_FUZZ_SECONDS:-25} failed=() ran=0 target name scratch
    local artifacts="$QUILLFEN_FUZZ_BUILD/artifacts"
    mkdir -p "$artifacts"
    for target in "$QUILLFEN_FUZZ_BUILD"/tests/fuzz/fuzz_*; do
        [[ -f $target && -x $target ]] || continue
        name=$(basename "$target")
        scratch=$(mktemp -d)
        local corpora=("$scratch")
        [[ -d $QUILLFEN_ROOT/tests/fuzz/corpus/$name ]] && corpora+=("$QUILLFEN_ROOT/tests/fuzz/corpus/$name")
        echo "== fuzzing $name for ${seconds}s"
        if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$artifacts/$name-" "${corpora[@]}" </dev/null; then
            failed+=("$name")
        fi
        rm -rf "$scratch"
        ran=$((ran + 1))
    done
    if ((ran == 0)); then
        echo "== no fuzz targets were built"
    elif ((${#failed[@]})); then
        echo "== fuzzing: ${#failed[@]} of $ran targets failed: ${failed[*]} (inputs in $artifacts)"
        return 1
    else
        echo "== fuzzing: all $ran targets ran clean"
    fi
}
