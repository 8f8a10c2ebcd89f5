#!/usr/bin/env bash
# Builds what is missing and starts Vellumor. With no arguments it makes a
# Snapshot backup of the sample folder in cli/sample into a new temporary
# folder, with live progress, and says where the copy is; with arguments it
# runs vellumor-cli with them (see "./run.sh --help").
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/bootstrap.sh" >&2
cli="$here/build/stage/bin/vellumor-cli"
if [ "$#" -gt 0 ]; then
    exec "$cli" "$@"
fi
dest="$(mktemp -d "${TMPDIR:-/tmp}/vellumor-sample.XXXXXX")"
echo "Backing up $here/cli/sample to $dest" >&2
"$cli" backup --snapshot "$here/cli/sample" "$dest"
echo "The copy is in $dest" >&2
