#!/usr/bin/env bash
# Runs the fuzz targets long, one after another: each for the given minutes (default 30), from its
# checked-in seeds and the inputs earlier runs found. New inputs are kept in
# build/fuzz/corpus/<target> (copy the ones worth keeping into fuzz/corpus/<target>), inputs that
# break a target in build/fuzz/fuzz-artifacts/<target>/. Prints executions, corpus size and
# findings per target; fails when a target broke.
#   scripts/fuzz.sh [minutes] [target...]
set -uo pipefail
source "$(dirname "$0")/lib.sh"
minutes=${1:-30}
shift || true
ensure_packages
JOBS=${PELKAN_JOBS:-$(nproc)}
say "fuzz: building"
build_fuzz_targets || { echo "fuzz build failed"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in "$PELKAN_ROOT"/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
broken=0
for t in "${targets[@]}"; do
    corpus=$PELKAN_BUILD/fuzz/corpus/$t
    artifacts=$PELKAN_BUILD/fuzz/fuzz-artifacts/$t
    log=$PELKAN_LOG/fuzz-$t.log
    mkdir -p "$corpus" "$artifacts"
    say "$t: $minutes minutes"
    "$PELKAN_BUILD/fuzz/fuzz/$t" -max_total_time=$((minutes * 60)) -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" "$PELKAN_ROOT/fuzz/corpus/$t" \
        >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    found=$(find "$artifacts" -type f | wc -l)
    echo "$t: rc $rc, ${execs:-?} executions, $(find "$corpus" -type f | wc -l) inputs in" \
        "the corpus, $found breaking inputs in $artifacts (log: $log)"
    [ "$rc" -ne 0 ] && broken=$((broken + 1))
done
[ "$broken" -eq 0 ]
