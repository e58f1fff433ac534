#!/usr/bin/env bash
# Evaluation on several threads (--threads): the wall time per generation of two costly
# configurations at 1 thread and at each count given (2 by default), ROUNDS rounds each (5 by
# default, the thread counts run one after the other in each round), and a check that every run
# wrote the same outputs as the one-thread run (clock readings masked). Prints a Markdown table:
# the median wall time per generation, the speed-up over one thread (the median over rounds of the
# one-thread run's wall time over this run's, in the same round, which follows the machine's
# drifts) and the median CPU time (user + system, all threads). bench/threads.md keeps the table measured by hand, which `make bench` copies into
# bench/results.md.
#   rastrigin-2000: bench/workloads/rastrigin.xml with 2,000 real genes, 101 individuals and 100
#     generations (an evaluation takes tens of microseconds; the variation steps, one draw or more
#     per gene, stay on one thread).
#   double-sin-sarn: examples/double-sin-sarn with 101 individuals, 100 generations and no stop at
#     the first hit (a network runs 400 time steps per evaluation; its mutation is a few draws).
# Usage: [ROUNDS=N] bench/threads.sh VALDRIN [THREADS...]
set -euo pipefail
valdrin=$(realpath "${1:?usage: bench/threads.sh VALDRIN [THREADS...]}")
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(2)
rounds=${ROUNDS:-5}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/valdrin-threads-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

set_value() {  # set_value KEY VALUE < config > config
    sed "s#\(<name>$1</name><value>\)[^<]*#\1$2#"
}

set_value "Chromosome length" 2000 < "$here/workloads/rastrigin.xml" | set_value "Population size" 101 |
    set_value "Generations number" 100 > "$scratch/rastrigin-2000.xml"
set_value "Population size" 101 < "$here/../examples/double-sin-sarn/config.xml" | set_value "Generations number" 100 |
    set_value "Until first hit" no > "$scratch/double-sin-sarn.xml"

# Clock readings (run durations, the times over runs) become T, as the test suite masks them.
mask() {
    awk '
        /^#\tTimes:/ { times = 1 }
        /^#\tConvergence/ || /^No convergence/ { times = 0 }
        /^#\tTime\tGenerations\tFE/ { solutions = 1 }
        /^$/ { solutions = 0 }
        {
            if ($0 ~ /^Run duration: /) $0 = "Run duration: T seconds"
            if (times && $0 ~ /^[0-9]+:\t[^\t]+$/) sub(/\t.*/, "\tT")
            if (times && $0 ~ /^(Mean|Deviation):\t/) sub(/\t.*/, "\tT")
            if (solutions && $0 ~ /^[0-9]+:\t/) { n = index($0, "\t"); rest = substr($0, n + 1); sub(/^[^\t]*/, "T", rest); $0 = substr($0, 1, n) rest }
            if ($0 ~ /^Mean time:\t/) $0 = "Mean time:\tT"
            if ($0 ~ /^Time deviation:\t/) $0 = "Time deviation:\tT"
            print
        }' "$1"
}

# run WORKLOAD THREADS: one run in a fresh folder; appends "wall cpu" (seconds) to the times file.
run() {
    local folder="$scratch/$1-$2"
    rm -rf "$folder" && mkdir -p "$folder"
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%U %S' -o "$scratch/cpu.txt" "$valdrin" "$scratch/$1.xml" 1 --threads "$2" --out "$folder" \
        > "$folder/stdout" 2> /dev/null
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000 )) $(awk '{ print $1 + $2 }' "$scratch/cpu.txt")" >> "$scratch/$1-$2.times"
}

median() {  # median COLUMN < times
    sort -n -k "$1" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

echo "| workload | threads | wall time per generation (ms) | speed-up | CPU time (s) | outputs as on 1 thread |"
echo "|---|---:|---:|---:|---:|---|"
for workload in rastrigin-2000 double-sin-sarn; do
    generations=100
    for threads in 1 "${counts[@]}"; do : > "$scratch/$workload-$threads.times"; done
    for ((round = 0; round < rounds; ++round)); do
        for threads in 1 "${counts[@]}"; do run "$workload" "$threads"; done
    done
    for threads in 1 "${counts[@]}"; do
        wall=$(median 1 < "$scratch/$workload-$threads.times")
        speedup=$(paste -d ' ' "$scratch/$workload-1.times" "$scratch/$workload-$threads.times" |
            awk '{ print $1 / $3 }' | median 1)
        cpu=$(median 2 < "$scratch/$workload-$threads.times")
        same=yes
        for file in "$scratch/$workload-1"/*; do
            other="$scratch/$workload-$threads/$(basename "$file")"
            if ! cmp -s <(mask "$file") <(mask "$other"); then same="no: $(basename "$file") differs"; fi
        done
        awk -v w="$workload" -v t="$threads" -v wall="$wall" -v up="$speedup" -v g="$generations" -v cpu="$cpu" -v s="$same" \
            'BEGIN { printf "| %s | %d | %.2f | %.2f | %.2f | %s |\n", w, t, wall / 1000 / g, up, cpu, s }'
    done
done
