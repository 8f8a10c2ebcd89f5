#!/usr/bin/env bash
# Builds what is missing and runs the whole test suite on a private D-Bus
# session bus.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/bootstrap.sh"
exec dbus-run-session -- ctest --preset default "$@"
