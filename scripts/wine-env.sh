# Sourced by the scripts that run Windows programs: the private Wine prefix, the ODBC
# driver registration and the locale. Needs BUILD_DIR (the Windows build folder).
: "${BUILD_DIR:?BUILD_DIR must name the Windows build folder}"
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# Wine's odbc32 forwards to unixODBC, which finds FreeTDS's driver through this file.
export ODBCSYSINI="$BUILD_DIR/odbc"
export ODBCINI="$BUILD_DIR/odbc/odbc.ini"
# Where 32-bit programs cannot run, every Wine call goes to the 64-bit loader.
# shellcheck source=i386.sh
source "$(dirname "${BASH_SOURCE[0]}")/i386.sh"
dorvane_wine64_only "$BUILD_DIR"
# Debian keeps wineserver out of PATH.
WINESERVER="$(command -v wineserver || true)"
[ -n "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
export WINESERVER
