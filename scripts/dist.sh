#!/usr/bin/env bash
# Builds the two programs a Windows user takes and writes them with their checksums:
#   OUT/Dorvane-x64.exe        64-bit Windows 7 SP1 to 11
#   OUT/Dorvane-x86.exe        32-bit (and 64-bit) Windows 7 SP1 to 11
#   OUT/SHA256SUMS             sha256sum's format: "sha256sum -c SHA256SUMS" checks them
#   OUT/SHA256SUMS.unsigned    only when signed: the files before signing, which is what a
#                              rebuild from the same commit gives
#   OUT/manifests/d/Dorvane/Dorvane/VERSION/
#                              only with --url: the winget manifest (see below)
#
#   scripts/dist.sh [--out DIR] [--no-check] [--url URL]
#                   [--pfx FILE | --cert FILE --key FILE] [--ca FILE] [--timestamp URL]
#
#   --out DIR         where the files go (default: dist)
#   --no-check        build once instead of twice (see below)
#   --url URL         the release's web address, the folder the files will be served from:
#                     the winget manifest's installers are URL/Dorvane-x64.exe and
#                     URL/Dorvane-x86.exe, and a signature carries URL with the name
#                     "Dorvane"; needed to sign; or DORVANE_SIGN_URL
#   --pfx FILE        sign with the certificate and key in this PKCS#12 file (.pfx, .p12);
#                     or DORVANE_SIGN_PFX
#   --cert, --key     sign with a PEM certificate (with its chain) and a PEM key instead;
#                     or DORVANE_SIGN_CERT and DORVANE_SIGN_KEY
#   --ca FILE         the root certificates the signature is verified against after signing
#                     (default: the system's, /etc/ssl/certs); or DORVANE_SIGN_CA
#   --timestamp URL   an RFC 3161 time-stamp server to countersign the signature; off unless
#                     given; or DORVANE_TIMESTAMP_URL
# The password of the PFX or of the key, if it has one, comes from DORVANE_SIGN_PASSWORD (read
# by osslsigncode from its standard input, never from its command line).
#
# The release is reproducible: the same commit gives the same bytes on any machine, in any
# folder, at any time. The PE time stamp is the last commit's time (SOURCE_DATE_EPOCH), and
# the build writes no path and no build id into the programs. The command checks that
# itself: it builds twice, from two copies of the sources git tracks in two temporary
# folders of different names and layouts, and stops if the two results differ by one byte.
# --no-check builds once. Each program is checked against Windows 7 SP1
# (scripts/check-imports.py) before it is written. Signing (osslsigncode: SHA-256, the
# program's name and URL) happens after the comparison, then each signature is verified.
#
# The winget manifest (version 1.10.0, the four files the community repository keeps for a
# version of a package) installs the programs as a portable command, "dorvane": the
# version is resources/dorvane.rc's PRODUCTVERSION, the release date the commit's (UTC),
# and each InstallerSha256 the hash of the file written beside it, the signed one when
# signed. So its bytes follow from the commit, URL and the signature alone. It is checked
# against the schema (scripts/check-manifest.py) before anything is written.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

usage() { sed -n '11,30p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }
OUT="$ROOT/dist"
CHECK=1
PFX="${DORVANE_SIGN_PFX:-}" CERT="${DORVANE_SIGN_CERT:-}" KEY="${DORVANE_SIGN_KEY:-}"
URL="${DORVANE_SIGN_URL:-}" CA="${DORVANE_SIGN_CA:-}" TSA="${DORVANE_TIMESTAMP_URL:-}"
while [ $# -gt 0 ]; do
  case "$1" in
    --out|--pfx|--cert|--key|--url|--ca|--timestamp)
      [ $# -ge 2 ] || { echo "dist: $1 needs a value" >&2; usage >&2; exit 2; }
      case "$1" in
        --out) OUT="$2" ;; --pfx) PFX="$2" ;; --cert) CERT="$2" ;; --key) KEY="$2" ;;
        --url) URL="$2" ;; --ca) CA="$2" ;; --timestamp) TSA="$2" ;;
      esac
      shift 2 ;;
    --no-check) CHECK=0; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "dist: unknown argument $1" >&2; usage >&2; exit 2 ;;
  esac
done

SIGN=0
if [ -n "$PFX" ] && { [ -n "$CERT" ] || [ -n "$KEY" ]; }; then
  echo "dist: give either a PFX or a certificate and key, not both" >&2; exit 2
fi
if [ -n "$CERT$KEY" ] && { [ -z "$CERT" ] || [ -z "$KEY" ]; }; then
  echo "dist: --cert and --key go together" >&2; exit 2
fi
if [ -n "$PFX$CERT" ]; then
  SIGN=1
  [ -n "$URL" ] || { echo "dist: signing writes the release's web address into the signature: give it with --url URL (or DORVANE_SIGN_URL)" >&2; exit 2; }
  # Named from the caller's folder; used from the sources' folder.
  for v in PFX CERT KEY CA; do
    [ -n "${!v}" ] || continue
    [ -r "${!v}" ] || { echo "dist: cannot read ${!v}" >&2; exit 2; }
    printf -v "$v" '%s' "$(realpath "${!v}")"
  done
elif [ -n "$TSA$CA" ]; then
  echo "dist: --timestamp and --ca belong to signing: give a certificate too" >&2; exit 2
fi

mkdir -p "$OUT"
OUT="$(realpath "$OUT")"
cd "$ROOT"
# The package's version is the one the version record gives the programs.
VERSION="$(sed -n 's/^ *PRODUCTVERSION *\([0-9]\{1,\}\) *, *\([0-9]\{1,\}\) *, *\([0-9]\{1,\}\) *, *\([0-9]\{1,\}\)[[:space:]]*$/\1.\2.\3.\4/p' resources/dorvane.rc)"
[ -n "$VERSION" ] || { echo "dist: resources/dorvane.rc has no PRODUCTVERSION of four numbers" >&2; exit 1; }
bash scripts/setup.sh

# The time stamp in the PE header, and in anything else that asks for the time.
if git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1; then
  COMMIT="$(git -C "$ROOT" rev-parse HEAD)"
  SOURCE_DATE_EPOCH="$(git -C "$ROOT" log -1 --format=%ct)"
  DIRTY="$(git -C "$ROOT" status --porcelain --untracked-files=no)"
else
  [ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "dist: not a git checkout: set SOURCE_DATE_EPOCH (the release's time, in seconds since 1970)" >&2; exit 2; }
  COMMIT="" DIRTY=""
fi
export SOURCE_DATE_EPOCH TZ=UTC

WORK="$(mktemp -d "${TMPDIR:-/tmp}/dorvane-dist.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
trap 'exit 143' TERM INT

# copy_sources DIR: the files git tracks, as they are in the working tree (outside git:
# everything but the build and dist folders).
copy_sources() {
  mkdir -p "$1"
  if [ -n "$COMMIT" ]; then
    git -C "$ROOT" ls-files -z --cached | while IFS= read -r -d '' f; do
      if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
    done | tar --null -T - -cf - | tar -C "$1" -xf -
  else
    tar --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$1" -xf -
  fi
}

# build N SOURCES BUILDS: builds both programs from SOURCES in BUILDS/x64 and BUILDS/x86,
# leaving them as BUILDS/Dorvane-x64.exe and BUILDS/Dorvane-x86.exe.
build() {
  local n="$1" src="$2" out="$3" arch toolchain
  copy_sources "$src"
  for arch in x64 x86; do
    case "$arch" in
      x64) toolchain=mingw-w64-x86_64.cmake ;;
      x86) toolchain=mingw-w64-i686.cmake ;;
    esac
    echo "== build $n: Dorvane-$arch.exe (sources in $src, build in $out/$arch)"
    cmake -S "$src" -B "$out/$arch" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$src/cmake/$toolchain" >/dev/null
    cmake --build "$out/$arch" -j "$JOBS" --target Dorvane
    cp "$out/$arch/Dorvane.exe" "$out/Dorvane-$arch.exe"
  done
}

# The first build keeps its folders inside the sources, as a developer's would be; the
# second has other names, other lengths, the build folders beside the sources, another
# umask and another time zone. Nothing of that may reach the programs.
build 1 "$WORK/1/src" "$WORK/1/src/build"
FIRST="$WORK/1/src/build"
if [ "$CHECK" = 1 ]; then
  ( umask 077; TZ=Pacific/Kiritimati build 2 "$WORK/second-build/dorvane-sources" "$WORK/second-build/out" )
  same=1
  for arch in x64 x86; do
    a="$FIRST/Dorvane-$arch.exe" b="$WORK/second-build/out/Dorvane-$arch.exe"
    if ! cmp -s "$a" "$b"; then
      same=0
      echo "dist: Dorvane-$arch.exe differs between the two builds ($(cmp -l "$a" "$b" | wc -l) bytes; sizes $(stat -c %s "$a") and $(stat -c %s "$b")); first differences (offset, octal bytes):" >&2
      cmp -l "$a" "$b" | head -n 8 >&2 || true
      diff <(cd "$(dirname "$a")" && x86_64-w64-mingw32-objdump -p "Dorvane-$arch.exe") \
        <(cd "$(dirname "$b")" && x86_64-w64-mingw32-objdump -p "Dorvane-$arch.exe") | head -n 20 >&2 || true
    fi
  done
  [ "$same" = 1 ] || { echo "dist: the build is not reproducible; nothing was written to $OUT" >&2; exit 1; }
  echo "== the two builds are byte-identical"
else
  echo "== built once (--no-check): the build was not repeated to check it is reproducible"
fi

# manifest_file TYPE: a manifest file's first lines (the first for editors, as the package
# manager's own tools write it), then its fields from standard input, then its last lines.
manifest_file() {
  printf '# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.1.10.0.schema.json\n' "${1,,}"
  printf 'PackageIdentifier: Dorvane.Dorvane\nPackageVersion: %s\n' "$VERSION"
  cat
  printf 'ManifestType: %s\nManifestVersion: 1.10.0\n' "$1"
}

# write_manifest DIR BASE DATE: the winget manifest into DIR, for the programs in $STAGE as
# served from BASE (without a trailing slash) and released on DATE (YYYY-MM-DD).
write_manifest() {
  local dir="$1" base="$2" date="$3" arch
  mkdir -p "$dir"
  manifest_file version >"$dir/Dorvane.Dorvane.yaml" <<<"DefaultLocale: zh-CN"
  {
    printf 'MinimumOSVersion: 6.1.7601.0\nInstallerType: portable\nCommands:\n- dorvane\n'
    printf 'ReleaseDate: %s\nInstallers:\n' "$date"
    for arch in x64 x86; do
      printf -- '- Architecture: %s\n  InstallerUrl: %s/Dorvane-%s.exe\n  InstallerSha256: %s\n' "$arch" "$base" \
        "$arch" "$(sha256sum "$STAGE/Dorvane-$arch.exe" | cut -d' ' -f1 | tr a-f A-F)"
    done
  } | manifest_file installer >"$dir/Dorvane.Dorvane.installer.yaml"
  manifest_file defaultLocale >"$dir/Dorvane.Dorvane.locale.zh-CN.yaml" <<'FIELDS'
PackageLocale: zh-CN
Publisher: Dorvane
PackageName: Dorvane
License: 专有软件
ShortDescription: 将 SQL Server 数据库从服务器上分离，以便复制或移动它的 .MDF 和 .LDF 文件。
FIELDS
  manifest_file locale >"$dir/Dorvane.Dorvane.locale.en-US.yaml" <<'FIELDS'
PackageLocale: en-US
Publisher: Dorvane
PackageName: Dorvane
License: Proprietary
ShortDescription: Detaches a SQL Server database from its server, so that its .MDF and .LDF files can be copied or moved.
FIELDS
}

STAGE="$WORK/stage"
mkdir -p "$STAGE"
for arch in x64 x86; do
  python3 scripts/check-imports.py --delay-def db/odbc32_delay.def --delay-def app/comctl32_delay.def "$FIRST/Dorvane-$arch.exe"
  cp "$FIRST/Dorvane-$arch.exe" "$STAGE/"
done
(cd "$STAGE" && sha256sum Dorvane-x64.exe Dorvane-x86.exe > SHA256SUMS)

if [ "$SIGN" = 1 ]; then
  sign_args=(sign -h sha256 -n Dorvane -i "$URL")
  if [ -n "$PFX" ]; then sign_args+=(-pkcs12 "$PFX"); else sign_args+=(-certs "$CERT" -key "$KEY"); fi
  if [ -n "${DORVANE_SIGN_PASSWORD+set}" ]; then sign_args+=(-readpass /dev/stdin); fi
  if [ -n "$TSA" ]; then sign_args+=(-ts "$TSA"); fi
  verify_args=(verify)
  if [ -n "$CA" ]; then verify_args+=(-CAfile "$CA"); fi
  mv "$STAGE/SHA256SUMS" "$STAGE/SHA256SUMS.unsigned"
  for arch in x64 x86; do
    exe="$STAGE/Dorvane-$arch.exe"
    echo "== signing Dorvane-$arch.exe (SHA-256${TSA:+, time-stamped by $TSA})"
    if ! printf '%s' "${DORVANE_SIGN_PASSWORD:-}" | osslsigncode "${sign_args[@]}" -in "$exe" -out "$exe.signed"; then
      echo "dist: signing Dorvane-$arch.exe failed (osslsigncode says why, above); nothing was written to $OUT" >&2
      exit 1
    fi
    chmod --reference="$exe" "$exe.signed"
    mv "$exe.signed" "$exe"
    if ! osslsigncode "${verify_args[@]}" -in "$exe" >"$WORK/verify-$arch.log" 2>&1; then
      cat "$WORK/verify-$arch.log" >&2
      echo "dist: the signature of Dorvane-$arch.exe does not verify${CA:+ against $CA}; nothing was written to $OUT" >&2
      exit 1
    fi
    grep -E '^(Signature verification|Number of verified signatures)' "$WORK/verify-$arch.log" | sed 's/^/   /'
  done
  (cd "$STAGE" && sha256sum Dorvane-x64.exe Dorvane-x86.exe > SHA256SUMS)
else
  echo "== not signed: no certificate given (--pfx, or --cert and --key)"
fi

MANIFEST="manifests/d/Dorvane/Dorvane/$VERSION"
if [ -n "$URL" ]; then
  write_manifest "$STAGE/$MANIFEST" "${URL%/}" "$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)"
  # Debian's python3-jsonschema and python3-yaml are installed for Debian's python3.
  if ! /usr/bin/python3 scripts/check-manifest.py --files "$STAGE" --url "$URL" "$STAGE/$MANIFEST"; then
    echo "dist: the winget manifest does not pass its check (above); nothing was written to $OUT" >&2
    exit 1
  fi
else
  echo "== no winget manifest: it needs the address the files will be served from (--url URL)"
fi

rm -f "$OUT/Dorvane-x64.exe" "$OUT/Dorvane-x86.exe" "$OUT/SHA256SUMS" "$OUT/SHA256SUMS.unsigned"
# An earlier release's manifest would name files that are no longer there.
rm -rf "$OUT/manifests/d/Dorvane/Dorvane"
cp -R "$STAGE"/. "$OUT/"
echo "== $OUT/ (${COMMIT:+commit $COMMIT, }SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
if [ -n "$DIRTY" ]; then
  echo "dist: the working tree has uncommitted changes; these files are not those of commit $COMMIT:" >&2
  echo "$DIRTY" | sed 's/^/   /' >&2
fi
ls -l "$OUT"
if [ -n "$URL" ]; then echo "== $OUT/$MANIFEST/"; ls -l "$OUT/$MANIFEST"; fi
cat "$OUT/SHA256SUMS"
