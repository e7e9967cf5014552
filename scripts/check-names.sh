#!/usr/bin/env bash
# Checks the names of the project's own C++ against the house style (docs/style.md,
# .clang-tidy) with clang-tidy's naming check, in the build trees given:
#   scripts/check-names.sh BUILD_DIR...
# Each tree needs compile_commands.json (every tree exports it). A MinGW-w64 tree is read
# as clang sees that target, with MinGW-w64's own C++ and Windows headers. Exits non-zero
# and names each offending identifier when any name breaks the rules.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
status=0 files=0
for dir in "$@"; do
  db="$dir/compile_commands.json"
  [ -f "$db" ] || { echo "check-names: $db is missing (configure $dir first)" >&2; exit 2; }
  # The project's own headers are checked with the sources that include them.
  args=(-p "$dir" --quiet --extra-arg=-Wno-unknown-warning-option
    --header-filter="^$ROOT/(app|base|bench|controls|db|fuzz|host|resources|subclass|tests|tools|win32)/")
  if grep -q 'w64-mingw32-g++' "$db"; then
    compiler="$(grep -o '[a-z0-9_/]*-w64-mingw32-g++[a-z-]*' "$db" | head -n1)"
    triple="$(basename "$compiler")"
    triple="${triple%%-g++*}"
    args+=(--extra-arg=--target="$triple")
    # The C++ library's headers (of the compiler the tree is built with: its threading
    # model decides what <thread> holds) and the Windows headers; clang brings its own
    # intrinsics.
    while read -r inc; do args+=(--extra-arg=-isystem"$inc"); done < <(
      echo | "$compiler" -std=c++20 -E -x c++ - -v 2>&1 |
        sed -n '/#include <...> search starts here/,/End of search/p' | grep '^ /' |
        grep -v -e '/include$' -e 'include-fixed' | sed 's/^ //')
    args+=(--extra-arg=-isystem"/usr/$triple/include")
  fi
  # The project's own sources (not GoogleTest's), one clang-tidy per file, JOBS at a time.
  python3 -c 'import json,sys; [print(e["file"]) for e in json.load(open(sys.argv[1]))]' "$db" |
    grep "^$ROOT/" | grep -v -e "/build/" -e "/googletest/" | sort -u >"$dir/names-files.txt"
  echo "check-names: $(wc -l <"$dir/names-files.txt") files in $dir"
  files=$((files + $(wc -l <"$dir/names-files.txt")))
  if ! xargs -a "$dir/names-files.txt" -P "$JOBS" -n 4 clang-tidy "${args[@]}" >"$dir/names.log" 2>&1; then
    status=1
  fi
  if grep -q 'readability-identifier-naming' "$dir/names.log"; then
    # A header's name is reported once for every file that includes it: each once here.
    grep 'readability-identifier-naming' "$dir/names.log" | sed "s|^$ROOT/||" | sort -u >"$dir/names-broken.txt"
    cat "$dir/names-broken.txt"
    echo "check-names: $(wc -l <"$dir/names-broken.txt") names break the house style in $dir" >&2
    status=1
  elif [ "$status" != 0 ]; then
    tail -n 40 "$dir/names.log"
    echo "check-names: clang-tidy failed in $dir (see $dir/names.log)" >&2
  fi
done
if [ "$status" = 0 ]; then echo "check-names: $files files, every name in the house style"; fi
exit "$status"
