#!/usr/bin/env bash
# Installs the Debian 12 packages Dorvane needs to build, run and test. Idempotent:
# apt-get runs only when a package is missing.
set -euo pipefail
# shellcheck source=i386.sh
source "$(dirname "${BASH_SOURCE[0]}")/i386.sh"

PACKAGES=(
  cmake make g++ clang googletest libstb-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix wine wine64
  xvfb x11-utils xdotool imagemagick fonts-wqy-microhei fonts-wine locales
  unixodbc unixodbc-dev tdsodbc freetds-bin nodejs libssl-dev
  python3 procps
  # The naming check (scripts/check-names.sh).
  clang-tidy
  # The second compiler's linker (ld.lld, for Clang's x64 build); signing and its test.
  lld osslsigncode openssl
)
# The x86 program under Wine: 32-bit Wine, and the i386 ODBC manager and FreeTDS driver
# its 32-bit odbc32 forwards to. A machine that cannot run i386 programs gets none of them:
# they could not run, and they cost minutes (the x86 program is still built there).
if [ "$DORVANE_I386" = yes ]; then
  PACKAGES+=(wine32:i386 libodbc2:i386 tdsodbc:i386)
else
  echo "setup: no 32-bit Wine: $DORVANE_I386_WHY"
fi

# npm ships inside NodeSource's nodejs; with Debian's own nodejs it is a package of its own.
command -v npm >/dev/null || PACKAGES+=(npm)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# The :i386 packages need the i386 architecture (Debian's multiarch).
if [ "$DORVANE_I386" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Chinese texts render and Wine picks the Chinese locale only when glibc has it.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
