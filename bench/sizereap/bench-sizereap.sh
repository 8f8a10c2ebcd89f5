#!/usr/bin/env bash
# sizereap against du -sb (count) and rm -rf (delete) on identical generated
# trees of FILES files (default 100000), in the same run. Prints both times
# and the ratios. Usage: bench-sizereap.sh [SIZEREAP] [FILES]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
sizereap="${1:-$here/../../build/stage/bin/sizereap}"
files="${2:-100000}"
work="$(mktemp -d "${BENCH_TMPDIR:-/var/tmp}/sizereap-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

make_tree() { # make_tree DIR: FILES files of 1-200 bytes in folders of 500
    python3 - "$1" "$files" <<'PY'
import os, sys
root, total = sys.argv[1], int(sys.argv[2])
for i in range(total):
    d = os.path.join(root, "d%04d" % (i // 500), "s%d" % (i % 5))
    if i % 500 < 5:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "f%06d.txt" % i), "wb") as f:
        f.write(b"x" * (1 + i % 200))
PY
}
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
best() { printf '%s\n' "$@" | sort -g | head -n1; }

make_tree "$work/template"
du_times=(); reap_times=()
for round in 1 2 3; do
    du_times+=("$(seconds du -sb "$work/template")")
    reap_times+=("$(seconds "$sizereap" count "$work/template")")
done
du_total=$(du -sb --apparent-size "$work/template" | cut -f1)
echo "count: du -sb $(best "${du_times[@]}") s, sizereap $(best "${reap_times[@]}") s," \
     "ratio $(echo "$(best "${reap_times[@]}") / $(best "${du_times[@]}")" | bc -l | cut -c1-5) (goal <= 2.0)"

rm_times=(); del_times=()
for round in 1 2; do
    # Fresh copies for each timed delete, made before either clock starts.
    cp -a "$work/template" "$work/for-rm"; cp -a "$work/template" "$work/for-reap"; sync
    rm_times+=("$(seconds rm -rf "$work/for-rm")")
    del_times+=("$(seconds "$sizereap" delete "$work/for-reap")")
done
echo "delete: rm -rf $(best "${rm_times[@]}") s, sizereap $(best "${del_times[@]}") s," \
     "ratio $(echo "$(best "${del_times[@]}") / $(best "${rm_times[@]}")" | bc -l | cut -c1-5) (goal <= 1.5)"
echo "(du --apparent-size total: $du_total bytes; sizereap total: $("$sizereap" count "$work/template"))"
