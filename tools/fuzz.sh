#!/usr/bin/env bash
# Runs every fuzzer (fuzz/fuzz_*.cpp) for SECONDS each (default 600), one after another,
# starting from its corpus in fuzz/corpus_NAME, and prints what each did: executions, rate,
# coverage, memory.  A crash stops the run; its input is kept in build/asan/findings/.
#
#   tools/fuzz.sh [SECONDS] [--keep] [NAME...]
#     --keep   merge the inputs that reached new coverage into fuzz/corpus_NAME
#     NAME     only these fuzzers (dbf, paradox, text, number, settings, paths, sql, journal)
#
# Each fuzzer's own flags (its largest input, above all) are in fuzz/fuzz_NAME.options.
# Every allocation is bounded (-malloc_limit_mb): a header that claims more than the file
# holds must not make a reader ask for it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
keep=0
only=()
for arg in "$@"; do
    case $arg in
        --keep) keep=1 ;;
        [0-9]*) seconds=$arg ;;
        *) only+=("$arg") ;;
    esac
done

# Only the fuzzers (and the core under them): nothing else of the project is needed here.
targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
bash tools/build.sh asan --target "${targets[@]}" >/dev/null
mkdir -p build/asan/findings

export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=10:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for fuzzer in build/asan/fuzz/fuzz_*; do
    [[ -x $fuzzer && -f $fuzzer ]] || continue
    name=$(basename "$fuzzer")
    short=${name#fuzz_}
    if ((${#only[@]})) && [[ ! " ${only[*]} " == *" $short "* ]]; then continue; fi
    seeds="fuzz/corpus_$short"
    work=$(mktemp -d)
    [[ -d $seeds ]] && cp -r "$seeds/." "$work/"
    options=()
    [[ -f fuzz/$name.options ]] && mapfile -t options < "fuzz/$name.options"
    log="build/asan/$name.log"
    if ! "$fuzzer" "${options[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=64 \
        -print_final_stats=1 -artifact_prefix="build/asan/findings/$name-" "$work" >"$log" 2>&1; then
        echo "-- $name: FAILED (log: $log)"
        grep -E "ERROR|SUMMARY|Test unit written|artifact" "$log" | head -10 || true
        tail -40 "$log"
        status=1
    else
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
        last=$(grep -E "^#[0-9]+" "$log" | tail -1 | grep -oE "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9A-Za-z]+" || true)
        echo "-- $name: $runs executions in ${seconds} s, $rate per second, $last, peak ${rss} MB"
        if ((keep)); then
            mkdir -p "$seeds"
            "$fuzzer" "${options[@]}" -merge=1 "$seeds" "$work" >/dev/null 2>&1 || true
        fi
    fi
    rm -rf "$work"
    ((status == 0)) || break
done
exit $status
