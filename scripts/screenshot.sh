#!/usr/bin/env bash
# Makes docs/screenshot.png: the real window (the same application object as
# `vellumor`) on a virtual X server (Xvfb), pictured in the middle of a real
# Snapshot backup of a generated photo library, with two scheduled jobs and
# one exclusion in its lists. Needs a build (./run.sh or scripts/bootstrap.sh).
# With --finder-copy first it makes docs/finder-copy-window.png instead: the
# compact window of a file-manager "Paste" of two album years into the backup
# disk, in the middle of its copy.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mode=window
if [ "${1:-}" = "--finder-copy" ]; then
    mode=finder-copy
    shift
fi
if [ "$mode" = finder-copy ]; then
    out="${1:-$here/docs/finder-copy-window.png}"
else
    out="${1:-$here/docs/screenshot.png}"
fi
build="$here/build"
cmake --build "$build" --target vellumor_window_shot >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/vellumor-screenshot.XXXXXX")"
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# A library big enough that the copy is still under way when pictured.
python3 - "$work/Pictures" <<'PY'
import os, sys, random
random.seed(7)
root = sys.argv[1]
for year in range(2019, 2025):
    for month in range(1, 13):
        folder = os.path.join(root, str(year), f"{year}-{month:02d} Album")
        os.makedirs(folder, exist_ok=True)
        for n in range(300):
            with open(os.path.join(folder, f"IMG_{month:02d}{n:04d}.jpg"), "wb") as f:
                f.write(os.urandom(random.randint(2, 24) * 1024))
PY
mkdir -p "$work/Backup Disk" "$work/data/org.vellumor.Vellumor" "$work/config"
# Two jobs already scheduled, to fill the schedule list.
cat > "$work/data/org.vellumor.Vellumor/Scheduled Backups.xml" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<array>
 <dict>
  <key>sourcePath</key><string>$work/Pictures</string>
  <key>destPath</key><string>$work/Backup Disk</string>
  <key>snapshotsToKeep</key><integer>10</integer>
  <key>scheduledDates</key><array><string>Mon-07-12-2099 21:30</string><string>Wed-09-12-2099 21:30</string><string>Fri-11-12-2099 21:30</string></array>
  <key>excludedFiles</key><array/>
  <key>hardlinks</key><true/>
 </dict>
 <dict>
  <key>sourcePath</key><string>$HOME</string>
  <key>destPath</key><string>$work/Backup Disk</string>
  <key>snapshotsToKeep</key><integer>99</integer>
  <key>scheduledDates</key><array><string>Mon-07-12-2099 09:05</string><string>Tue-08-12-2099 09:05</string><string>Wed-09-12-2099 09:05</string><string>Thu-10-12-2099 09:05</string><string>Fri-11-12-2099 09:05</string><string>Sat-12-12-2099 09:05</string><string>Sun-13-12-2099 09:05</string></array>
  <key>excludedFiles</key><array/>
  <key>hardlinks</key><false/>
 </dict>
</array>
</plist>
PLIST

# A virtual screen on a free display number.
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
display=":$(head -n1 "$work/display")"

mkdir -p "$(dirname "$out")"
if [ "$mode" = finder-copy ]; then
    shot_args=(--paste-into "$work/Backup Disk" --copied "$work/Pictures/2023" --copied "$work/Pictures/2024"
               --percent 40)
else
    shot_args=(--source "$work/Pictures" --dest "$work/Backup Disk" --snapshot --backup --percent 40
               --exclude "$work/Pictures/2019/2019-01 Album")
fi
env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" \
    VELLUMOR_PREFIX="$build/stage" \
    dbus-run-session -- "$build/tests/shell/vellumor_window_shot" \
    "${shot_args[@]}" --out "$out" 2>"$work/run.log" \
    || { cat "$work/run.log" >&2; exit 1; }
echo "Wrote $out"
