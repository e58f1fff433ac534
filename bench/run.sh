#!/usr/bin/env bash
# Runs the benchmarks and writes bench/results.md: the machine, the whole-experiment workloads, SARN
# over growing generation counts, the scaling table and the inner operations, a problem written in
# Python against the built-in one (python.md, by python_problem.py), then the tables measured by
# hand (floor.md, growth.md).
# Usage: bench/run.sh BUILD_FOLDER [ROUNDS]
set -euo pipefail
build=${1:?usage: bench/run.sh BUILD_FOLDER [ROUNDS]}
rounds=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
results="$here/results.md"
partial="$results.part"

{
    echo "# Benchmark results"
    echo
    echo "Written by \`make bench\` on $(date -u '+%Y-%m-%d %H:%M UTC'), from commit $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)."
    echo
    echo "## Machine"
    echo
    echo "- processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "- cores: $(nproc)"
    echo "- memory: $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
    echo "- system: $(uname -sr)"
    echo "- compiler: $(g++ --version | head -n1)"
    echo "- build: $(grep -m1 CMAKE_BUILD_TYPE "$build/CMakeCache.txt" | cut -d= -f2)"
    echo
    echo "## Whole experiments"
    echo
    echo "One run of each configuration in bench/workloads/ (median CPU time of $rounds rounds, user +"
    echo "system; the largest peak resident memory), as \`valdrin CONFIG 1\` runs it, logs included."
    echo
    "$build/valdrin_bench_workloads" "$build/valdrin" "$here/workloads" --rounds "$rounds"
    echo
    echo "## Inner operations"
    echo
    echo "Google Benchmark; items are genes (bit positions for the bit-flip)."
    echo
    echo '```'
    "$build/valdrin_bench_operators" --benchmark_min_time=0.2 2>&1 | grep -v '^\*\*\*'
    echo '```'
    # A problem in Python against the built-in one, when the build has the Python package.
    if compgen -G "$build/python/valdrin/_core*.so" > /dev/null; then
        /usr/bin/python3 "$here/python_problem.py" "$build" --rounds "$rounds" --write "$here/python.md" > /dev/null
    fi
    # Tables measured by hand, kept with their before and after; and the Python problem's table.
    for kept in floor.md growth.md python.md; do
        if [ -f "$here/$kept" ]; then
            echo
            cat "$here/$kept"
        fi
    done
} > "$partial"
mv "$partial" "$results"
echo "bench: results written to $results"
