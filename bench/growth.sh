#!/usr/bin/env bash
# How clone removal and fitness sharing grow with the population: runs the workloads
# clones-onemax and sharing-onemax of bench/workloads/ with the population sizes given (1,000,
# 3,000 and 10,000 by default), everything else as the workload sets it, one run each, and prints
# a Markdown table of the CPU time (user + system) and the peak resident memory that
# /usr/bin/time reports. Sharing at 10,000 individuals takes minutes, which is why `make bench`
# leaves this to be run by hand; bench/growth.md keeps the tables it gave.
# Usage: bench/growth.sh VALDRIN [SIZE...]
set -euo pipefail
valdrin=$(realpath "${1:?usage: bench/growth.sh VALDRIN [SIZE...]}")
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 3000 10000)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/valdrin-growth-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

echo "| workload | individuals | CPU time (s) | peak memory (MB) |"
echo "|---|---:|---:|---:|"
for workload in clones-onemax sharing-onemax; do
    for size in "${sizes[@]}"; do
        sed "s#\(<name>Population size</name><value>\)[^<]*#\1$size#" "$here/workloads/$workload.xml" > "$scratch/config.xml"
        (cd "$scratch" && /usr/bin/time -f '%U %S %M' -o "$scratch/time.txt" "$valdrin" config.xml 1 > /dev/null 2>&1)
        read -r user system kilobytes < "$scratch/time.txt"
        awk -v w="$workload" -v n="$size" -v u="$user" -v s="$system" -v k="$kilobytes" \
            'BEGIN { printf "| %s | %d | %.2f | %.1f |\n", w, n, u + s, k / 1024 }'
    done
done
