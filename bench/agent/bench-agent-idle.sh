#!/bin/sh
# Idle cost of vellumor-helper: with its one wake-up armed hours away, count
# the context switches of all its threads and (with strace) its system calls
# over a quiet minute. Goal: zero; the agent does not poll. The baseline in
# the same run is sleep(1), a process that by definition never wakes.
#
# Usage: bench/agent/bench-agent-idle.sh [seconds]   (default 60; needs dbus-run-session)
set -eu
# Everything runs on a session bus of its own.
if [ -z "${VELLUMOR_BENCH_ON_BUS:-}" ]; then
    VELLUMOR_BENCH_ON_BUS=1 dbus-run-session -- "$0" "$@" 2>&1 | grep -v 'fd limit'
    exit
fi
seconds=${1:-60}
here=$(cd "$(dirname "$0")/../.." && pwd)
helper=${VELLUMOR_HELPER:-$here/build/stage/libexec/vellumor/vellumor-helper}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_DATA_HOME/org.vellumor.Vellumor"
when=$(LC_ALL=C date -d '+3 hours' '+%a-%d-%m-%Y %H:%M')
cat > "$XDG_DATA_HOME/org.vellumor.Vellumor/Scheduled Backups.xml" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<array>
  <dict>
    <key>sourcePath</key><string>$work</string>
    <key>destPath</key><string>/media/vellumor-bench-absent</string>
    <key>hardlinks</key><true/>
    <key>snapshotsToKeep</key><integer>10</integer>
    <key>excludedFiles</key><array/>
    <key>scheduledDates</key><array><string>$when</string></array>
  </dict>
</array>
</plist>
PLIST

switches() { # all threads of a process: voluntary + involuntary
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'
}

measure() { # pid label
    sleep 3 # let start-up settle
    before=$(switches "$1")
    if command -v strace >/dev/null 2>&1; then
        timeout "$seconds" strace -f -c -o "$work/$2.strace" -p "$1" 2>/dev/null || true
    else
        sleep "$seconds"
    fi
    after=$(switches "$1")
    calls=$(awk '/total/ { print $(NF-1) }' "$work/$2.strace" 2>/dev/null || echo "n/a")
    echo "$2: $((after - before)) context switches, ${calls:-0} system calls in ${seconds} s"
}

# Mounts made by anything else on the machine are real events for the agent
# (it checks on each); as root, the agent gets a mount namespace of its own
# so that only its idleness is measured.
isolate=""
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1; then
    isolate="unshare --mount --propagation private"
    echo "agent in a private mount namespace (other processes' mounts do not reach it)"
fi
LC_ALL=C $isolate "$helper" 2>"$work/agent.log" &
agent=$!
sleep 100000 &
baseline=$!
measure $baseline "baseline sleep"
measure $agent "vellumor-helper"
kill $agent $baseline
status=0
wait $agent || status=$?
echo "agent exit status $status"
cat "$work/agent.log"
