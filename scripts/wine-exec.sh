#!/usr/bin/env bash
# ctest's emulator for the Windows tests: runs one .exe in the environment that
# scripts/with-wine.sh prepared (prefix, display, ODBC), bounded in time.
#
# A test program that dies of a stack overflow ends under Wine with exit status 0, as if
# every test had passed. GoogleTest makes the file TEST_PREMATURE_EXIT_FILE names when it
# starts and removes it when it ends normally: a file left behind is a test program that
# did not end, whatever its status says. (Programs other than GoogleTest's make no file.)
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-exec: run the Windows tests through scripts/with-wine.sh (no prefix or display set)" >&2
  exit 2
fi
marker="$(mktemp -u /tmp/wine-exec-premature.XXXXXXXX)"
status=0
TEST_PREMATURE_EXIT_FILE="Z:$marker" timeout --kill-after=10 "${WINE_TEST_TIMEOUT:-600}" wine "$@" || status=$?
if [ -e "$marker" ]; then
  rm -f "$marker"
  echo "wine-exec: $1 ended before its tests finished (exit status $status); a crash such as a stack overflow ends with status 0 under Wine" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
