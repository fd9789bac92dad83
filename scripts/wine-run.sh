#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's environment; the test
# emulator of the Windows build (CMAKE_CROSSCOMPILING_EMULATOR).
#   scripts/wine-run.sh program.exe [args...]
# Uses $WINEPREFIX when set, otherwise the build folder's prefix (created on demand).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
preset="${WINEPREFIX:-}"
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
if [ -z "$preset" ]; then
    tv_prefix_ensure || exit 1
fi
exec "$WINE" "$@"
