#!/usr/bin/env bash
# The plug-in helper's cost per change, for RENDER.md: bench_spihelper in this process and in the
# helper, alternately, ROUNDS times each (each run makes RUNS changes), then once each with the
# proportional memory sampled. Prints every run, the medians of the runs' medians, fastest changes
# and CPU time per change (this process and the helper), and the load average before and after.
# Usage: bench/spihelper_compare.sh BUILD_DIR [ROUNDS] [RUNS] [--whole]
set -eu
bench=$1/bench/bench_spihelper
rounds=${2:-5}
runs=${3:-10}
shift $(($# < 3 ? $# : 3))
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A medians fastest cpu
for _ in $(seq "$rounds"); do
    for way in inprocess helper; do
        line=$("$bench" "$way" "$runs" "$@")
        echo "$line"
        medians[$way]+="$(sed -n 's/.*median *\([0-9.]*\) ms.*/\1/p' <<<"$line") "
        fastest[$way]+="$(sed -n 's/.*min *\([0-9.]*\) ms.*/\1/p' <<<"$line") "
        cpu[$way]+="$(sed -n 's/.*cpu *\([0-9.]*\) ms.*/\1/p' <<<"$line") "
    done
done
for way in inprocess helper; do
    "$bench" "$way" "$runs" --pss "$@"
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
for way in inprocess helper; do
    echo "$way: median of medians $(median <<<"${medians[$way]}") ms, median of fastest $(median <<<"${fastest[$way]}") ms," \
        "median CPU per change $(median <<<"${cpu[$way]}") ms"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
