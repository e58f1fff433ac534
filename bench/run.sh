#!/usr/bin/env bash
# Runs the benchmarks and writes bench/results.md: the machine, the whole-experiment workloads, SARN
# over growing generation counts, the scaling table and the inner operations, then the tables
# measured by hand (floor.md, growth.md), the problem plugins' (plugins.md, which bench/plugins.py
# writes anew) and a problem written in Python against the built-in one (python.md, which
# bench/python_problem.py writes anew when the build has the Python package).
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
    # The problem plugins' table (bench/plugins.py), kept in plugins.md; a problem in Python
    # against the built-in one (bench/python_problem.py), kept in python.md; and the tables
    # measured by hand, kept with their before and after.
    cmake --build "$build" --target plugin_onemax plugin_nk > /dev/null
    /usr/bin/python3 "$here/plugins.py" "$build" "$rounds" > "$here/plugins.md.part"
    mv "$here/plugins.md.part" "$here/plugins.md"
    if compgen -G "$build/python/valdrin/_core*.so" > /dev/null; then
        /usr/bin/python3 "$here/python_problem.py" "$build" --rounds "$rounds" --write "$here/python.md" > /dev/null
    fi
    for kept in floor.md growth.md threads.md plugins.md python.md; do
        if [ -f "$here/$kept" ]; then
            echo
            cat "$here/$kept"
        fi
    done
} > "$partial"
mv "$partial" "$results"
echo "bench: results written to $results"
