#!/usr/bin/env bash
# scripts/setup.sh against a stand-in apt-get (and dpkg) first in PATH: a mirror whose
# update fails as a half-synced one does, an i386 set that cannot be installed, an amd64
# package that cannot be had. Each case runs copies of setup.sh and i386.sh in a throwaway
# tree, on a machine that runs i386 programs (the kernel's answer is given), and checks
# what set-up did and what the scripts that run after it then decide.
set -euo pipefail
SCRIPTS="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAILED: $CASE: $*"; FAILED=1; }

# The stand-ins. State: installed (packages installed by name; a name without an
# architecture counts as installed unless listed in absent), arches (foreign
# architectures), update-failures (how many updates fail yet), i386-broken, unavailable
# (packages no index holds), calls (every apt-get and sleep).
mkdir -p "$WORK/bin"
cat >"$WORK/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
S="$FAKE_STATE"; echo "apt-get $*" >>"$S/calls"
if [[ " $* " == *" update "* ]]; then
  n="$(cat "$S/update-failures")"
  [ "$n" -gt 0 ] || exit 0
  echo $((n - 1)) >"$S/update-failures"
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
  exit 100
fi
simulate=0 packages=()
for a; do case "$a" in -s) simulate=1 ;; -*|install) ;; *) packages+=("$a") ;; esac; done
for p in "${packages[@]}"; do
  if grep -qx "$p" "$S/unavailable"; then echo "E: Unable to locate package $p"; exit 100; fi
  if [[ "$p" == *:i386 && -f "$S/i386-broken" ]]; then
    echo " $p : Depends: zlib1g:i386 (>= 1:1.2.13.dfsg-1+deb12u1) but 1:1.2.13.dfsg-1 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
[ "$simulate" = 1 ] || printf '%s\n' "${packages[@]}" >>"$S/installed"
FAKE
cat >"$WORK/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
S="$FAKE_STATE"; shift 2   # -W -f=FORMAT
if [ $# = 0 ]; then sed 's/.*:\(.*\)/\1/; /^i386$/!s/.*/amd64/' "$S/installed"; exit 0; fi
rc=0
for p; do
  if grep -qx "$p" "$S/installed" || { [[ "$p" != *:* ]] && ! grep -qx "$p" "$S/absent"; }; then
    echo "install ok installed"
  else
    echo "dpkg-query: no packages found matching $p" >&2; rc=1
  fi
done
exit "$rc"
FAKE
cat >"$WORK/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
S="$FAKE_STATE"
case "$1" in
  --print-foreign-architectures) cat "$S/arches" ;;
  --add-architecture) echo "$2" >>"$S/arches" ;;
  --remove-architecture)
    if grep -q ":$2\$" "$S/installed"; then echo "dpkg: error: cannot remove architecture '$2' currently in use by the database" >&2; exit 2; fi
    sed -i "/^$2\$/d" "$S/arches" ;;
esac
FAKE
printf '#!/bin/sh\necho "sleep $*" >>"$FAKE_STATE/calls"\n' >"$WORK/bin/sleep"
printf '#!/bin/sh\nexec "$@"\n' >"$WORK/bin/sudo"
printf '#!/bin/sh\necho zh_CN.utf8\n' >"$WORK/bin/locale"
chmod +x "$WORK/bin/"*

# new_tree NAME: a fresh throwaway tree and state: nothing of i386, no foreign architecture,
# the mirror well, xdotool missing (so that apt-get runs at all).
new_tree() {
  CASE="$1" TREE="$WORK/$1"
  mkdir -p "$TREE/scripts" "$TREE/state"
  cp "$SCRIPTS/setup.sh" "$SCRIPTS/i386.sh" "$TREE/scripts/"
  # This machine runs i386 programs, whatever the kernel here says: the probe is replaced
  # before i386.sh first asks it, which it does as it is sourced.
  grep -q '^# Asked once per run' "$TREE/scripts/i386.sh" || fail "i386.sh no longer asks where the test expects"
  sed -i '/^# Asked once per run/i dorvane_i386_probe() { DORVANE_I386=yes DORVANE_I386_WHY=""; }' "$TREE/scripts/i386.sh"
  S="$TREE/state"
  : >"$S/installed"; : >"$S/arches"; : >"$S/unavailable"; : >"$S/calls"
  echo 0 >"$S/update-failures"; echo xdotool >"$S/absent"
}
# run_setup: set-up in the tree, as a script that runs it does; its status in RC, its output
# in OUT, and then what the scripts after it decide in DECISION ("yes" or "no: reason").
run_setup() {
  RC=0
  OUT="$(env -u DORVANE_I386 -u DORVANE_I386_WHY -u DORVANE_NO_I386 -u DORVANE_SET_UP \
    PATH="$WORK/bin:$PATH" FAKE_STATE="$S" bash "$TREE/scripts/setup.sh" 2>&1)" || RC=$?
  DECISION="$(env -u DORVANE_I386 -u DORVANE_I386_WHY -u DORVANE_NO_I386 PATH="$WORK/bin:$PATH" FAKE_STATE="$S" \
    bash -c 'source "$1"; echo "$DORVANE_I386${DORVANE_I386_WHY:+: $DORVANE_I386_WHY}"' _ "$TREE/scripts/i386.sh")"
}
count() { grep -c "$1" "$S/calls" || true; }

new_tree half-synced-mirror
echo 9 >"$S/update-failures"; touch "$S/i386-broken"
run_setup
[ "$RC" = 0 ] || fail "set-up failed (status $RC): $OUT"
[ "$(count ' update')" = 3 ] || fail "apt-get update ran $(count ' update') times, not 3"
[ "$(count '^sleep')" = 2 ] || fail "$(count '^sleep') pauses between the updates, not 2"
grep -qx 'setup: apt-get update failed 3 times; going on with the package lists this machine has (Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? \[IP: 151.101.2.132 80\])' <<<"$OUT" ||
  fail "no one line naming the index that failed: $OUT"
[ "$(grep -n 'install.* xdotool' "$S/calls" | cut -d: -f1)" -lt "$(grep -n 'install.*wine32:i386' "$S/calls" | cut -d: -f1)" ] ||
  fail "the amd64 set was not installed first, on its own: $(cat "$S/calls")"
grep -qx xdotool "$S/installed" || fail "the amd64 set was not installed"
[ ! -s "$S/arches" ] || fail "the i386 architecture this run added stayed: $(cat "$S/arches")"
[ "$DECISION" = "no: 32-bit Wine could not be installed: Unable to correct problems, you have held broken packages." ] ||
  fail "the scripts after set-up decide '$DECISION'"

# The same machine the next day: the mirror has caught up, and set-up tries again.
CASE=mirror-caught-up
echo 1 >"$S/update-failures"; rm "$S/i386-broken"; : >"$S/calls"
run_setup
[ "$RC" = 0 ] || fail "set-up failed (status $RC): $OUT"
[ "$(count ' update')" = 2 ] || fail "apt-get update ran $(count ' update') times, not 2"
! grep -q 'update failed' <<<"$OUT" || fail "an update that passed the second time is reported: $OUT"
grep -qx 'wine32:i386' "$S/installed" || fail "32-bit Wine was not installed"
grep -qx i386 "$S/arches" || fail "the i386 architecture is not there"
[ "$DECISION" = yes ] || fail "the scripts after set-up decide '$DECISION'"

new_tree i386-there-before
echo i386 >"$S/arches"; touch "$S/i386-broken"
run_setup
[ "$RC" = 0 ] || fail "set-up failed (status $RC): $OUT"
grep -qx i386 "$S/arches" || fail "an i386 architecture this run did not add was removed"
[[ "$DECISION" == "no: 32-bit Wine could not be installed: "* ]] || fail "the scripts after set-up decide '$DECISION'"

new_tree amd64-package-missing
echo xdotool >"$S/unavailable"
run_setup
[ "$RC" != 0 ] || fail "set-up passed without xdotool: $OUT"
grep -qx 'setup:   xdotool: Unable to locate package xdotool' <<<"$OUT" || fail "apt's reason and the package not named: $OUT"
! grep -q 'wine32:i386' "$S/calls" || fail "the i386 set was tried after the amd64 set failed"

[ "$FAILED" = 0 ] && echo "setup_test: 4 cases passed"
exit "$FAILED"
