#!/usr/bin/env bash
# What a sweep adds to each experiment: tiny experiments (GA on Sphere, 3 real genes, 20
# generations, one run: a few milliseconds each) run by valdrin-sweep and by a plain shell loop
# over the same folders.
# Usage: bench/sweep_overhead.sh ROUNDS JOBS BUILD_FOLDER[:SWEEP OPTIONS] [BUILD_FOLDER[:...] ...]
#   e.g. bench/sweep_overhead.sh 9 1 /tmp/old/build build build:--batch=1
# Every round runs, one after the other (so that each sees the same load on the machine):
#   - the loop: `cd FOLDER && valdrin config.xml 1 --csv --checkpoint ...` for each of the 90
#     experiments of the big sweep, one after the other (the first build's valdrin);
#   - for every build, its valdrin-sweep over 90 experiments (9 combinations x 10 seeds) and over 9
#     (9 combinations x 1 seed), with --jobs JOBS and the options after the colon (commas for
#     spaces).
# It prints each round's wall and CPU time (user + system, children included) and, from the
# medians, the cost per experiment: the loop's time over 90, and each sweep's marginal cost,
# (T(90) - T(9)) / 81, which leaves out what a sweep spends once (starting, writing the results
# database and the page).
set -euo pipefail
rounds=${1:?usage: bench/sweep_overhead.sh ROUNDS JOBS BUILD_FOLDER[:OPTIONS] ...}
jobs=${2:?usage: bench/sweep_overhead.sh ROUNDS JOBS BUILD_FOLDER[:OPTIONS] ...}
shift 2
[ $# -gt 0 ] || { echo "usage: bench/sweep_overhead.sh ROUNDS JOBS BUILD_FOLDER[:OPTIONS] ..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
builds=()
options=()
for build_entry in "$@"; do
    builds+=("$(cd "${build_entry%%:*}" && pwd)")
    options+=("$([ "$build_entry" = "${build_entry#*:}" ] && echo "" || echo "${build_entry#*:}" | tr ',=' '  ')")
done
cd "$work"
sed 's|<value>100</value>|<value>20</value>|' "$here/../examples/sphere-real/config.xml" >base.xml

grid=(base.xml --set "Population size=20,40,60" --set "Mutation rate=0.1,0.3,0.5")
# Wall and CPU seconds of a command, as "WALL CPU".
measure() {
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1 || true
    awk '{printf "%.3f %.3f\n", $1, $2 + $3}' "$work/time"
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

"${builds[0]}/valdrin-sweep" "${grid[@]}" --seeds 1-10 --out layout >/dev/null 2>&1
loop_script='for d in $(cat jobs.txt); do (cd "$d" && ../../valdrin config.xml 1 --csv --checkpoint experiment.checkpoint >>stdout.txt 2>>stderr.txt); done'
: >loop.txt
for round in $(seq "$rounds"); do
    for d in layout/experiments/*; do
        find "$d" -type f ! -name config.xml -delete
    done
    (cd layout && measure sh -c "$loop_script") | tee -a loop.txt | sed "s/^/round $round loop: /"
    for b in "${!builds[@]}"; do
        rm -rf big small
        # shellcheck disable=SC2086
        measure "${builds[$b]}/valdrin-sweep" "${grid[@]}" --seeds 1-10 --jobs "$jobs" ${options[$b]} --out big |
            tee -a "big$b.txt" | sed "s/^/round $round sweep $b of 90: /"
        # shellcheck disable=SC2086
        measure "${builds[$b]}/valdrin-sweep" "${grid[@]}" --seeds 1 --jobs "$jobs" ${options[$b]} --out small |
            tee -a "small$b.txt" | sed "s/^/round $round sweep $b of 9: /"
    done
done
for column in 1 2; do
    name=$([ "$column" = 1 ] && echo wall || echo CPU)
    loop=$(cut -d' ' -f"$column" loop.txt | median)
    awk -v n="$name" -v l="$loop" 'BEGIN { printf "%s time per experiment (medians of the rounds): loop %.1f ms\n", n, l / 90 * 1000 }'
    for b in "${!builds[@]}"; do
        big=$(cut -d' ' -f"$column" "big$b.txt" | median)
        small=$(cut -d' ' -f"$column" "small$b.txt" | median)
        awk -v n="$name" -v s="${builds[$b]} ${options[$b]}" -v l="$loop" -v b="$big" -v m="$small" 'BEGIN {
            printf "  sweep %s: %.1f ms, %.2f times the loop (sweep of 90: %.2f s, of 9: %.2f s)\n",
                s, (b - m) / 81 * 1000, (b - m) / 81 / (l / 90), b, m }'
    done
done
