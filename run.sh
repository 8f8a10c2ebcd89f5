#!/usr/bin/env bash
# Builds what is missing and starts Vellumor. Arguments are passed on.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/bootstrap.sh" >&2
stage="$here/build/stage"
if [ -x "$stage/bin/vellumor" ]; then
    exec "$stage/bin/vellumor" "$@"
fi
cat <<'USAGE'
Vellumor's window is not built yet. What runs today:
  build/stage/bin/sizereap count PATH...    total size in bytes of the trees under PATH
  build/stage/bin/sizereap delete PATH...   the same, deleting what it totals
USAGE
