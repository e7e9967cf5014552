#!/usr/bin/env bash
# Runs a command with a private Wine prefix and a private X display:
#   scripts/with-wine.sh BUILD_DIR command [args...]
# Starts Xvfb on a free display (unless WITH_WINE_DISPLAY names one to use), prepares the
# prefix once, runs the command, then stops the Wine server and Xvfb it started, by id.
set -euo pipefail
BUILD_DIR="$(cd "$1" && pwd)"; shift
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
source "$HERE/wine-env.sh"
# An x86 tree: its programs run only under 32-bit Wine, which needs i386 Linux programs.
X86_TREE=0
if grep -qs '^CMAKE_LINKER:.*i686-w64-mingw32' "$BUILD_DIR/CMakeCache.txt" || [ "${WINE_ODBC_ARCH:-}" = i386 ]; then
  X86_TREE=1
fi
if [ "$X86_TREE" = 1 ] && [ "$DORVANE_I386" = no ]; then
  echo "with-wine: $BUILD_DIR holds x86 programs, and 32-bit Wine cannot run here: $DORVANE_I386_WHY" >&2
  exit 3
fi

XVFB_PID=""
cleanup() {
  # Wine processes of this prefix, then its server, then the display.
  timeout 20 "$WINESERVER" -k 2>/dev/null || true
  timeout 20 "$WINESERVER" -w 2>/dev/null || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  rm -f "${DISPLAY_FILE:-}"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${WITH_WINE_DISPLAY:-}" ]; then
  export DISPLAY="$WITH_WINE_DISPLAY"
else
  DISPLAY_FILE="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -dpi 96 3>"$DISPLAY_FILE" 2>/dev/null &
  XVFB_PID=$!
  for _ in $(seq 1 100); do [ -s "$DISPLAY_FILE" ] && break; sleep 0.1; done
  [ -s "$DISPLAY_FILE" ] || { echo "with-wine: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$DISPLAY_FILE")"
  echo "with-wine: private X display $DISPLAY"
fi

mkdir -p "$ODBCSYSINI"
# Wine's own fonts (Marlett draws the title-bar buttons) made visible to fontconfig too.
cat > "$BUILD_DIR/fonts.conf" <<FONTS
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir>/usr/share/wine/fonts</dir>
  <cachedir>$BUILD_DIR/fontconfig-cache</cachedir>
</fontconfig>
FONTS
export FONTCONFIG_FILE="$BUILD_DIR/fonts.conf"
# A 32-bit program goes through Wine's 32-bit odbc32 to the i386 unixODBC, which loads only
# an i386 driver: an x86 build folder gets the i386 FreeTDS driver in its odbcinst.ini.
if [ "$X86_TREE" = 1 ]; then
  TDS_DRIVER="$(dpkg -L tdsodbc:i386 2>/dev/null | grep -m1 'libtdsodbc\.so$' || echo /usr/lib/i386-linux-gnu/odbc/libtdsodbc.so)"
else
  TDS_DRIVER="$(dpkg -L tdsodbc:amd64 2>/dev/null | grep -m1 'libtdsodbc\.so$' || echo /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so)"
fi
printf '[FreeTDS]\nDescription=FreeTDS driver for SQL Server\nDriver=%s\nUsageCount=1\n' "$TDS_DRIVER" > "$ODBCSYSINI/odbcinst.ini"
: > "$ODBCINI"

# A prefix made before 32-bit Wine was installed has no 32-bit system folder, and then no
# program of either architecture starts in it ("could not load kernel32.dll"): make it again.
if [ "$DORVANE_I386" = yes ] && [ -f "$WINEPREFIX/.dorvane-ready" ] &&
  [ -f /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ] &&
  [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "with-wine: the Wine prefix predates 32-bit Wine; preparing it again"
  rm -f "$WINEPREFIX/.dorvane-ready"
fi
if [ ! -f "$WINEPREFIX/.dorvane-ready" ]; then
  echo "with-wine: preparing the Wine prefix $WINEPREFIX (once)"
  rm -rf "$WINEPREFIX"
  if ! timeout 300 wineboot --init >"$BUILD_DIR/wineboot.log" 2>&1; then
    echo "with-wine: wineboot failed; what it said (from $BUILD_DIR/wineboot.log):" >&2
    tail -n 20 "$BUILD_DIR/wineboot.log" >&2
    exit 1
  fi
  # No crash dialog: a crashing test must fail, not wait for a click.
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # Xvfb has no window manager: Wine draws title bars and borders itself.
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  timeout 60 "$WINESERVER" -w 2>/dev/null || true
  touch "$WINEPREFIX/.dorvane-ready"
fi

"$@"
