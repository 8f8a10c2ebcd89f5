#!/usr/bin/env bash
# Builds what is missing and starts Vellumor. Arguments are passed on.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/bootstrap.sh" >&2
stage="$here/build/stage"
if [ -x "$stage/bin/vellumor" ]; then
    exec "$stage/bin/vellumor" "$@"
fi
exec "$stage/bin/sizereap" --help
