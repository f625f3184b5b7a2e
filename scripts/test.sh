#!/usr/bin/env bash
# Installs what is missing, builds the host and Windows targets and runs every test: host unit
# tests (plain, again under AddressSanitizer with UndefinedBehaviorSanitizer, and the serial layer
# under ThreadSanitizer), a short fixed run of every fuzz target, then the Windows test programs
# under Wine and Xvfb. Ends with one line that counts the tests.
#   scripts/test.sh            everything, and then the whole program under Wine (e2e)
#   scripts/test.sh host|win   one build only
set -uo pipefail
source "$(dirname "$0")/lib.sh"
set -e
what=${1:-all}
ensure_packages
JOBS=${PELKAN_JOBS:-$(nproc)}


failed_builds=0
suites_run=()
run_suite() {  # <name> <build dir> <results folder name> [ctest args...]
    local name=$1 dir=$2 results=$3; shift 3
    suites_run+=("$name:$dir/$results")
    rm -rf "${dir:?}/$results"
    mkdir -p "$dir/$results"
    say "$name: running tests"
    if ! (cd "$dir" && ctest -j "$JOBS" --output-on-failure --timeout 600 "$@" </dev/null); then
        failed_builds=$((failed_builds + 1))
    fi
}

set +e
if [ "$what" = all ] || [ "$what" = host ]; then
    say "host: building"
    configure "$PELKAN_BUILD/host" && cmake --build "$PELKAN_BUILD/host" -j "$JOBS" ||
        { echo "host build failed"; exit 1; }
    run_suite host "$PELKAN_BUILD/host" test-results -LE e2e
    if [ "${PELKAN_SKIP_TSAN:-0}" != 1 ]; then
        say "host-tsan: building"
        configure "$PELKAN_BUILD/tsan" -DPELKAN_TSAN=ON &&
            cmake --build "$PELKAN_BUILD/tsan" -j "$JOBS" || { echo "tsan build failed"; exit 1; }
        TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
            run_suite host-tsan "$PELKAN_BUILD/tsan" test-results -L serial
    fi
    if [ "${PELKAN_SKIP_ASAN:-0}" != 1 ]; then
        say "host-asan: building"
        configure "$PELKAN_BUILD/asan" -DPELKAN_ASAN=ON &&
            cmake --build "$PELKAN_BUILD/asan" -j "$JOBS" || { echo "asan build failed"; exit 1; }
        ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" \
            run_suite host-asan "$PELKAN_BUILD/asan" test-results -LE e2e
    fi
    if [ "${PELKAN_SKIP_FUZZ:-0}" != 1 ]; then
        # Each fuzz target runs its seeds and a fixed number of fuzzed inputs: one counted test.
        say "fuzz: building"
        build_fuzz_targets || { echo "fuzz build failed"; exit 1; }
        run_suite fuzz "$PELKAN_BUILD/fuzz" fuzz-results -L fuzz \
            --output-junit "$PELKAN_BUILD/fuzz/fuzz-results/smoke.xml"
    fi
fi
if [ "$what" = all ] || [ "$what" = win ]; then
    ensure_display || exit 1
    ensure_wineprefix || exit 1
    say "windows: building"
    configure "$PELKAN_BUILD/win" \
        -DCMAKE_TOOLCHAIN_FILE="$PELKAN_ROOT/cmake/mingw-w64-x86_64.cmake" &&
        cmake --build "$PELKAN_BUILD/win" -j "$JOBS" || { echo "windows build failed"; exit 1; }
    start_wineserver
    run_suite windows "$PELKAN_BUILD/win" test-results
    if [ "$what" = all ] && [ "${PELKAN_SKIP_E2E:-0}" != 1 ]; then
        # The whole program: native test driver, Windows programs from build/win.
        PELKAN_WIN_BUILD="$PELKAN_BUILD/win" PELKAN_E2E_OUTPUT="$PELKAN_BUILD/e2e-output" \
            run_suite e2e "$PELKAN_BUILD/host" e2e-results -L e2e
    fi
    stop_wineserver
fi

# Adds up the GoogleTest reports of every suite that ran. A test program that crashed before
# writing its report was counted by ctest as a failure above.
total_pass=0 total_fail=0
for suite in "${suites_run[@]}"; do
    name=${suite%%:*} results=${suite#*:}
    [ -d "$results" ] || continue
    pass=0 fail=0
    for f in "$results"/*.xml; do
        [ -f "$f" ] || continue
        # GoogleTest's reports open with <testsuites>, ctest's JUnit report with <testsuite>
        # (its attributes on lines of their own).
        head=$(tr '\n\t' '  ' <"$f" | grep -o -m1 -E '<testsuites? [^>]*>' | head -n1)
        t=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$head")
        fl=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$head")
        er=$(sed -n 's/.* errors="\([0-9]*\)".*/\1/p' <<<"$head")
        dis=$(sed -n 's/.* disabled="\([0-9]*\)".*/\1/p' <<<"$head")
        t=${t:-0} fl=${fl:-0} er=${er:-0} dis=${dis:-0}
        pass=$((pass + t - fl - er - dis)); fail=$((fail + fl + er))
    done
    say "$name: $pass passed, $fail failed"
    total_pass=$((total_pass + pass)); total_fail=$((total_fail + fail))
done
[ "$failed_builds" -gt 0 ] && [ "$total_fail" -eq 0 ] && total_fail=$failed_builds
echo "total: $total_pass passed, $total_fail failed"
[ "$failed_builds" -eq 0 ] && [ "$total_fail" -eq 0 ]
