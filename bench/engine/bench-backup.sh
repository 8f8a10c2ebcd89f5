#!/usr/bin/env bash
# A whole backup through vellumor-cli against plain rsync doing the same work
# (a dry run plus a real run with the same argument list), on a generated tree,
# for a first copy and for a copy with nothing changed. Prints both wall times
# and their ratio (goal: at most 1.05), and vellumor-cli's own peak memory on
# 1,000 files and on the full tree (goal: within 10 MB of each other).
#
#   bench/engine/bench-backup.sh [BUILD_DIR] [FILES]     (defaults: build, 100000)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
bench_setup backup "${1:-}" "${2:-}"


# The argument list the Sync run uses (see the "args:" line with VELLUMOR_VERBOSE).
rsync_args() { # rsync_args SRC DEST
    printf '%s\n' "--exclude-from=$stage/share/vellumor/excludelist.txt" $'--out-format=\t://: %n' \
        -laxi -DH --partial-dir=.rsync-partial --progress --numeric-ids --stats -A -X -S '--filter=P /*' --delete -- "$1" "$2/"
}

plain_rsync() { # plain_rsync SRC DEST: dry run, then the real run, output drained
    mapfile -t args < <(rsync_args "$1" "$2")
    mkdir -p "$2"
    "$rsync" --dry-run "${args[@]}" > /dev/null 2>&1
    "$rsync" "${args[@]}" > /dev/null 2>&1
}

vellumor() { # vellumor SRC DEST
    VELLUMOR_PREFIX="$stage" "$cli" backup "$1" "$2" > /dev/null 2>"$work/cli.err"
}

echo "generating $files files..." >&2
make_tree "$work/src" "$files"
sync

# Fresh destinations for every first copy: a copy into space just freed by a
# delete can run much slower on these machines.
t0=$(now); plain_rsync "$work/src" "$work/rsync-dest"; t1=$(now)
t2=$(now); plain_rsync "$work/src" "$work/rsync-dest"; t3=$(now)
t4=$(now); vellumor "$work/src" "$work/vlm-dest"; t5=$(now)
t6=$(now); vellumor "$work/src" "$work/vlm-dest"; t7=$(now)

rsync_first=$(seconds "$t0" "$t1"); rsync_same=$(seconds "$t2" "$t3")
vlm_first=$(seconds "$t4" "$t5"); vlm_same=$(seconds "$t6" "$t7")
printf 'first copy     rsync %8ss  vellumor-cli %8ss  ratio %s\n' "$rsync_first" "$vlm_first" \
    "$(python3 -c "print(f'{$vlm_first / $rsync_first:.3f}')")"
printf 'nothing changed rsync %8ss  vellumor-cli %8ss  ratio %s\n' "$rsync_same" "$vlm_same" \
    "$(python3 -c "print(f'{$vlm_same / $rsync_same:.3f}')")"

peak() { # peak SRC DEST: vellumor-cli's own peak resident size in kB
    VELLUMOR_REPORT_PEAK_MEMORY=1 VELLUMOR_PREFIX="$stage" "$cli" backup "$1" "$2" 2>&1 >/dev/null \
        | sed -n 's/^peak memory: \([0-9]*\) kB$/\1/p'
}
make_tree "$work/small" 1000
small_kb=$(peak "$work/small" "$work/peak-small")
large_kb=$(peak "$work/src" "$work/peak-large")
printf 'peak memory    1,000 files %s kB  %s files %s kB  difference %s kB (goal: under 10240)\n' \
    "$small_kb" "$files" "$large_kb" "$((large_kb - small_kb))"
