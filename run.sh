#!/usr/bin/env bash
# Builds what is missing and starts Vellumor. With a display (DISPLAY or
# WAYLAND_DISPLAY set) and no arguments it opens the window. Without a
# display it says so and makes a Snapshot backup of the sample folder in
# cli/sample into a new temporary folder, with live progress, and says where
# the copy is. With arguments it runs vellumor-cli with them (see
# "./run.sh --help").
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/bootstrap.sh" >&2
cli="$here/build/stage/bin/vellumor-cli"
if [ "$#" -gt 0 ]; then
    exec "$cli" "$@"
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$here/build/stage/bin/vellumor"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so no window: running a terminal backup instead." >&2
dest="$(mktemp -d "${TMPDIR:-/tmp}/vellumor-sample.XXXXXX")"
echo "Backing up $here/cli/sample to $dest" >&2
"$cli" backup --snapshot "$here/cli/sample" "$dest"
echo "The copy is in $dest" >&2
