#!/usr/bin/env bash
# The second Snapshot run of a changing tree: vellumor-cli backup --snapshot
# against the same two rsync runs done by hand (a dry run and a real run with
# --link-dest and the application's argument list), on a generated tree with
# 1% of the files changed between runs. For the record, rsnapshot does the
# same work twice (with link_dest 1, and with its default cp -al), and the
# removal of one old snapshot through the bundle's dropcount (its output read
# through a pipe, as the application reads it) is timed against rm -rf.
# Prints every figure and the ratios (goals: at most 1.05 against the
# hand-run pair; removal within 1.1 of rm -rf).
#
# Measured on a 2-core machine (100,000 files, two rounds in opposite order):
# hand pair 14.87 / 18.45 s, vellumor-cli 14.45 / 16.81 s, best against best
# 0.97; rsnapshot link_dest 13.4 s, rsnapshot cp -al 2.5 s (it copies links
# without reading the source twice or comparing files); rm -rf 0.90 s,
# dropcount 0.85 s (0.94).
#
#   bench/engine/bench-snapshot.sh [BUILD_DIR] [FILES]     (defaults: build, 100000)
#
# Needs vellumor-cli and dropcount built (their stage in BUILD_DIR), and the
# Debian package rsnapshot for its two figures (skipped when missing).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/bench-common.sh"
bench_setup snapshot "${1:-}" "${2:-}"
dropcount="$stage/libexec/vellumor/dropcount"
for tool in "$rsync" "$dropcount"; do
    [ -x "$tool" ] || { echo "build vellumor-cli and dropcount first ($tool missing)" >&2; exit 1; }
done
# vellumor-cli keeps its job record in the support folder: a private one here.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" VELLUMOR_PREFIX="$stage"



# The argument list of a linked Snapshot run (see BackupArguments.cpp).
snapshot_args() { # snapshot_args LINKDEST SRC SNAPSHOT
    printf '%s\n' "--exclude-from=$stage/share/vellumor/excludelist.txt" $'--out-format=\t://: %n' \
        -laxi -vv -DH --partial-dir=.rsync-partial --progress --numeric-ids --stats -A -X -S "--link-dest=$1" -- "$2" "$3"
}

# The output goes through a pipe and is read, as the application reads it:
# rsync writes a line at a time, and writing into a pipe that someone drains
# costs more than writing into /dev/null.
hand_pair() { # hand_pair LINKDEST SRC SNAPSHOT: dry run, then the real run, output drained
    mapfile -t args < <(snapshot_args "$1" "$2" "$3")
    "$rsync" --dry-run "${args[@]}" 2>&1 | cat > /dev/null
    "$rsync" "${args[@]}" 2>&1 | cat > /dev/null
}

vellumor_snapshot() { # vellumor_snapshot SRC DEST
    "$cli" backup --snapshot "$1" "$2" > /dev/null 2>"$work/cli.err" || { cat "$work/cli.err" >&2; exit 1; }
}

rsnapshot_config() { # rsnapshot_config ROOT LINK_DEST: a config file for SRC into ROOT
    local config="$work/rsnapshot-$(basename "$1").conf"
    {
        printf 'config_version\t1.2\n'
        printf 'snapshot_root\t%s/\n' "$1"
        printf 'cmd_cp\t/bin/cp\ncmd_rm\t/bin/rm\ncmd_rsync\t/usr/bin/rsync\n'
        printf 'link_dest\t%s\n' "$2"
        printf 'retain\talpha\t3\n'
        printf 'lockfile\t%s.pid\n' "$1"
        printf 'backup\t%s/\tlocalhost/\n' "$work/src"
    } > "$config"
    echo "$config"
}

echo "generating $files files..." >&2
make_tree "$work/src" "$files"
sync

# First snapshots, untimed, each into its own destination.
echo "first snapshots..." >&2
mkdir -p "$work/hand"
"$rsync" -aH "$work/src" "$work/hand/first/"
first_vellumor_minute=$(date +%Y%m%d%H%M)
vellumor_snapshot "$work/src" "$work/vellumor"
have_rsnapshot=0
if command -v rsnapshot > /dev/null; then
    have_rsnapshot=1
    linkdest_conf=$(rsnapshot_config "$work/rsnapshot-linkdest" 1)
    cpal_conf=$(rsnapshot_config "$work/rsnapshot-cpal" 0)
    rsnapshot -c "$linkdest_conf" alpha
    rsnapshot -c "$cpal_conf" alpha
else
    echo "rsnapshot is not installed (apt-get install rsnapshot): its figures are skipped" >&2
fi

change_one_percent "$work/src" "$files"
sync
# A run in the minute of an existing snapshot waits for the next minute: wait
# here, outside the timed part.
while [ "$(date +%Y%m%d%H%M)" = "$first_vellumor_minute" ]; do sleep 1; done

# Two timed rounds in opposite orders, so whichever runs first (and meets
# the colder cache) is not always the same side; the best of each is compared.
echo "second snapshots, timed (hand first)..." >&2
t0=$(now); hand_pair "$work/hand/first/" "$work/src" "$work/hand/second/"; t1=$(now)
t2=$(now); vellumor_snapshot "$work/src" "$work/vellumor"; t3=$(now)
hand1=$(seconds "$t0" "$t1"); vlm1=$(seconds "$t2" "$t3")

change_one_percent "$work/src" "$files"
sync
second_vellumor_minute=$(date +%Y%m%d%H%M)
while [ "$(date +%Y%m%d%H%M)" = "$second_vellumor_minute" ]; do sleep 1; done
echo "third snapshots, timed (vellumor first)..." >&2
t2=$(now); vellumor_snapshot "$work/src" "$work/vellumor"; t3=$(now)
t0=$(now); hand_pair "$work/hand/second/" "$work/src" "$work/hand/third/"; t1=$(now)
hand2=$(seconds "$t0" "$t1"); vlm2=$(seconds "$t2" "$t3")
rm -rf "$work/hand/third"
snapshots=$(find "$work/vellumor" -mindepth 1 -maxdepth 1 -name 'VLM Snapshot *' | wc -l)
[ "$snapshots" -eq 3 ] || { echo "expected three vellumor snapshots, found $snapshots" >&2; exit 1; }
hand=$(python3 -c "print(min($hand1, $hand2))"); vlm=$(python3 -c "print(min($vlm1, $vlm2))")

printf 'linked snapshot, %s files, 1%% changed (round 1 hand first, round 2 vellumor first)\n' "$files"
printf '  rsync by hand (dry run + --link-dest run) %8ss %8ss\n' "$hand1" "$hand2"
printf '  vellumor-cli backup --snapshot            %8ss %8ss\n' "$vlm1" "$vlm2"
printf '  best against best: ratio %s (goal: at most 1.05)\n' "$(ratio "$vlm" "$hand")"
if ((have_rsnapshot)); then
    t4=$(now); rsnapshot -c "$linkdest_conf" alpha; t5=$(now)
    t6=$(now); rsnapshot -c "$cpal_conf" alpha; t7=$(now)
    rs_link=$(seconds "$t4" "$t5"); rs_cpal=$(seconds "$t6" "$t7")
    printf '  rsnapshot, link_dest 1                    %8ss  ratio to the hand pair %s\n' "$rs_link" "$(ratio "$rs_link" "$hand")"
    printf '  rsnapshot, cp -al                         %8ss  ratio to the hand pair %s\n' "$rs_cpal" "$(ratio "$rs_cpal" "$hand")"
fi

# Removal: the two first snapshots are alike (same files, each hard-linked
# with its second snapshot).
vellumor_first=$(find "$work/vellumor" -mindepth 1 -maxdepth 1 -name 'VLM Snapshot *' | sort | head -1)
sync
t8=$(now); rm -rf "$work/hand/first"; t9=$(now)
t10=$(now); "$dropcount" -rfv "$vellumor_first" | wc -l > "$work/dropcount.lines"; t11=$(now)
rm_time=$(seconds "$t8" "$t9"); drop_time=$(seconds "$t10" "$t11")
printf 'removing one old snapshot (%s lines from dropcount)\n' "$(cat "$work/dropcount.lines")"
printf '  rm -rf                                    %8ss\n' "$rm_time"
printf '  dropcount -rfv, output read               %8ss  ratio %s (goal: at most 1.1)\n' "$drop_time" "$(ratio "$drop_time" "$rm_time")"
