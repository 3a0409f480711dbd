#!/usr/bin/env bash
# Fuzzing campaign: tools/fuzz.sh [SECONDS]   (default 600 seconds per target)
#
# Builds the fuzzing configuration (clang, libFuzzer, build/fuzz/) and runs
# every fuzz_* target it produces, two at a time, each for SECONDS, with its
# corpus kept in build/fuzz/corpus/<target>/ (seeded from fuzz/seeds/<target>/)
# and any crashing input written to build/fuzz/findings/<target>/. Prints one
# line per target; exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
case "$seconds" in
'' | *[!0-9]*) echo "usage: tools/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac
parallel=2
out=build/fuzz

CXX=clang++ cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Debug -DSENSOR_MONITOR_FUZZ=ON >/dev/null
cmake --build "$out" --parallel "$parallel" >/dev/null

mapfile -t targets < <(find "$out/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sort)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $out/fuzz" >&2; exit 1; }

run_target() {
    local target=$1
    local corpus=$out/corpus/$target findings=$out/findings/$target
    local seeds=()
    [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
    mkdir -p "$corpus" "$findings" "$out/logs"
    # New inputs go to the first directory, the corpus; the seeds stay as they are.
    "$out/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "${seeds[@]}" >"$out/logs/$target.log" 2>&1
}

report() {
    local target=$1 status=$2 log=$out/logs/$1.log
    local runs corpus
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    corpus=$(find "$out/corpus/$target" -type f | wc -l)
    printf '%-22s %12s executions  corpus %6d inputs' "$target" "${runs:-?}" "$corpus"
    if [ "$status" -eq 0 ]; then
        echo "  no finding"
        return 0
    fi
    local finding
    finding=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    echo "  FINDING: ${finding:-none written} (log: $log)"
    grep -m 3 -E '^==[0-9]+==ERROR|SUMMARY|deadly signal' "$log" | sed 's/^/    /' || true
    return 1
}

# Runs the targets `parallel` at a time; each one's line is printed when it ends.
declare -A pid_of=()
found=0
finish_one() {
    local done_pid status=0 target
    wait -n -p done_pid "${pid_of[@]}" || status=$?
    for target in "${!pid_of[@]}"; do
        if [ "${pid_of[$target]}" = "$done_pid" ]; then
            unset "pid_of[$target]"
            report "$target" "$status" || found=1
        fi
    done
}
for target in "${targets[@]}"; do
    [ ${#pid_of[@]} -lt "$parallel" ] || finish_one
    run_target "$target" &
    pid_of[$target]=$!
done
while [ ${#pid_of[@]} -gt 0 ]; do
    finish_one
done
exit "$found"
