#!/bin/sh
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for SECONDS, one after the
# other, then prints executions and coverage per target.
#
#   fuzz/run_all.sh SECONDS [TARGET...]
#
# Environment: BUILD_DIR (default build/fuzz), NICE (default 19), FUZZ_ARGS (added to each
# run). Seeds stay untouched: each target grows a working corpus under
# $BUILD_DIR/fuzz-work/<target>; crashes land in $BUILD_DIR/fuzz-work/<target>/artifacts and
# the script exits nonzero. A finding is kept as a regression input by copying it into
# fuzz/corpus/<target>/ once it is fixed.
set -eu

if [ $# -lt 1 ] || ! [ "$1" -gt 0 ] 2>/dev/null; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build/fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
nice_level=${NICE:-19}

if [ $# -gt 0 ]; then
    targets="$*"
else
    targets=$(cd "$root/fuzz" && ls *.cpp | sed -e 's/\.cpp$//' -e '/^replay_main$/d')
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DQM_FUZZ=ON -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF >/dev/null
fi
build_targets=""
for t in $targets; do build_targets="$build_targets fuzz_$t"; done
# shellcheck disable=SC2086
nice -n "$nice_level" cmake --build "$build" -j2 --target $build_targets

work=$build/fuzz-work
summary=$work/summary-$$.txt
mkdir -p "$work"
: >"$summary"
failed=0
for t in $targets; do
    dir=$work/$t
    mkdir -p "$dir/corpus" "$dir/artifacts"
    dict=""
    [ -f "$root/fuzz/$t.dict" ] && dict="-dict=$root/fuzz/$t.dict"
    seeds=""
    [ -d "$root/fuzz/corpus/$t" ] && seeds="$root/fuzz/corpus/$t"
    echo "== $t: ${seconds}s"
    status=0
    # shellcheck disable=SC2086
    nice -n "$nice_level" "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        $dict ${FUZZ_ARGS:-} "$dir/corpus" $seeds >"$dir/log.txt" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt" | tail -n 1)
    last=$(grep -E '^#[0-9]+' "$dir/log.txt" | tail -n 1)
    cov=$(printf '%s\n' "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(printf '%s\n' "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    corp=$(printf '%s\n' "$last" | sed -n 's/.* corp: \([0-9]*\).*/\1/p')
    result=ok
    if [ "$status" -ne 0 ]; then
        result="FINDING (exit $status, see $dir/log.txt)"
        failed=1
    fi
    printf '%-20s execs %-10s cov %-6s ft %-7s corpus %-6s %s\n' \
        "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$result" | tee -a "$summary"
done

echo
echo "== summary (${seconds}s per target)"
cat "$summary"
exit $failed
