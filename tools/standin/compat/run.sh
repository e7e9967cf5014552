#!/usr/bin/env bash
# ctest entry for the tedious check: installs the locked packages into node_modules
# (npm ci) when they are missing, then runs tedious_test.js against the given binary.
#   run.sh PATH_TO_dorvane-standin
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "SKIP: node and npm are not installed, so the tedious client cannot run"
  exit 77
fi
cd "$HERE"
if [ ! -f node_modules/tedious/package.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  # Serialised: two builds running this test at once must not both write node_modules.
  exec 9>"$HERE/.npm-ci.lock"
  flock -w 300 9
  if [ ! -f node_modules/tedious/package.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    timeout 300 npm ci --no-audit --no-fund --loglevel=error
  fi
fi
exec timeout 90 node tedious_test.js "$1"
