#!/usr/bin/env bash
# What a sweep adds to each experiment: tiny experiments (GA on Sphere, 3 real genes, 20
# generations, one run: a few milliseconds each) run by valdrin-sweep and by a plain shell loop
# over the same folders.
# Usage: bench/sweep_overhead.sh BUILD_FOLDER [ROUNDS] [JOBS] [SWEEP OPTIONS...]
# Prints, per round, the wall time and the CPU time (user + system, children included) of
#   - the loop: `cd FOLDER && valdrin config.xml 1 --csv --checkpoint ...` for each of the 90
#     experiments of the big sweep, one after the other;
#   - the sweep of 90 experiments (9 combinations x 10 seeds) and of 9 (9 combinations x 1 seed),
#     with --jobs JOBS (default 1) and the options given after it;
# and, from the medians, the cost per experiment: the loop's time over 90, and the sweep's marginal
# cost, (T(90) - T(9)) / 81, which leaves out what a sweep spends once (starting, writing the
# results database and the page).
set -euo pipefail
build=$(cd "${1:?usage: bench/sweep_overhead.sh BUILD_FOLDER [ROUNDS] [JOBS] [SWEEP OPTIONS...]}" && pwd)
rounds=${2:-5}
jobs=${3:-1}
shift $(($# < 3 ? $# : 3))
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
sed 's|<value>100</value>|<value>20</value>|' "$here/../examples/sphere-real/config.xml" >base.xml

grid=(base.xml --set "Population size=20,40,60" --set "Mutation rate=0.1,0.3,0.5")
# Wall and CPU seconds of a command, as "WALL CPU".
measure() {
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1 || true
    awk '{printf "%.3f %.3f\n", $1, $2 + $3}' "$work/time"
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

"$build/valdrin-sweep" "${grid[@]}" --seeds 1-10 --out layout >/dev/null 2>&1
loop_script='for d in $(cat jobs.txt); do (cd "$d" && ../../valdrin config.xml 1 --csv --checkpoint experiment.checkpoint >>stdout.txt 2>>stderr.txt); done'
: >loop.txt
: >big.txt
: >small.txt
for round in $(seq "$rounds"); do
    for d in layout/experiments/*; do
        find "$d" -type f ! -name config.xml -delete
    done
    (cd layout && measure sh -c "$loop_script") | tee -a loop.txt | sed "s/^/round $round loop: /"
    rm -rf big small
    measure "$build/valdrin-sweep" "${grid[@]}" --seeds 1-10 --jobs "$jobs" "$@" --out big | tee -a big.txt |
        sed "s/^/round $round sweep of 90: /"
    measure "$build/valdrin-sweep" "${grid[@]}" --seeds 1 --jobs "$jobs" "$@" --out small | tee -a small.txt |
        sed "s/^/round $round sweep of 9: /"
done
for column in 1 2; do
    name=$([ "$column" = 1 ] && echo wall || echo CPU)
    loop=$(cut -d' ' -f"$column" loop.txt | median)
    big=$(cut -d' ' -f"$column" big.txt | median)
    small=$(cut -d' ' -f"$column" small.txt | median)
    awk -v n="$name" -v l="$loop" -v b="$big" -v s="$small" 'BEGIN {
        printf "%s time per experiment (medians of the rounds): loop %.1f ms, sweep %.1f ms (sweep of 90: %.2f s, of 9: %.2f s)\n",
            n, l / 90 * 1000, (b - s) / 81 * 1000, b, s }'
done
