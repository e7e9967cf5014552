#!/usr/bin/env bash
# ctest's emulator for the Windows tests: runs one .exe in the environment that
# scripts/with-wine.sh prepared (prefix, display, ODBC), bounded in time.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-exec: run the Windows tests through scripts/with-wine.sh (no prefix or display set)" >&2
  exit 2
fi
exec timeout --kill-after=10 "${WINE_TEST_TIMEOUT:-600}" wine "$@"
