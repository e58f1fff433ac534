#!/usr/bin/env bash
# How clone removal and fitness sharing grow with the population: runs the workloads
# clones-onemax and sharing-onemax of bench/workloads/ with the population sizes given (1,000,
# 3,000 and 10,000 by default), everything else as the workload sets it, ROUNDS runs each (1 by
# default), and prints a Markdown table of the median CPU time (user + system) and the largest
# peak resident memory that /usr/bin/time reports. Sharing at 10,000 individuals takes minutes, which is why `make bench`
# leaves this to be run by hand; bench/growth.md keeps the tables it gave.
# Usage: [ROUNDS=N] [WORKLOADS="clones-onemax ..."] bench/growth.sh VALDRIN [SIZE...]
set -euo pipefail
valdrin=$(realpath "${1:?usage: bench/growth.sh VALDRIN [SIZE...]}")
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 3000 10000)
rounds=${ROUNDS:-1}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/valdrin-growth-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

echo "| workload | individuals | CPU time (s) | peak memory (MB) |"
echo "|---|---:|---:|---:|"
for workload in ${WORKLOADS:-clones-onemax sharing-onemax}; do
    for size in "${sizes[@]}"; do
        sed "s#\(<name>Population size</name><value>\)[^<]*#\1$size#" "$here/workloads/$workload.xml" > "$scratch/config.xml"
        : > "$scratch/times.txt"
        for ((round = 0; round < rounds; ++round)); do
            (cd "$scratch" && /usr/bin/time -f '%U %S %M' -o "$scratch/time.txt" "$valdrin" config.xml 1 > /dev/null 2>&1)
            cat "$scratch/time.txt" >> "$scratch/times.txt"
        done
        awk '{ print $1 + $2, $3 }' "$scratch/times.txt" | sort -n |
            awk -v w="$workload" -v n="$size" '
                { cpu[NR] = $1; if ($2 > peak) peak = $2 }
                END { printf "| %s | %d | %.2f | %.1f |\n", w, n, cpu[int((NR + 1) / 2)], peak / 1024 }'
    done
done
