#!/usr/bin/env bash
# The release files as scripts/dist.sh writes them, signed:
#   tests/release/release_test.sh OUT_DIR
# Makes a throwaway self-signed code-signing certificate (a PFX with a password), runs the
# dist command with it into OUT_DIR (which builds twice and fails unless the two builds are
# byte-identical), and checks that
#  - both signatures verify against that certificate, with SHA-256, the program's name and
#    URL in them;
#  - SHA256SUMS matches the signed files;
#  - with the signature removed, each file is again the unsigned build (SHA256SUMS.unsigned);
#  - the winget manifest passes the schema as the package manager reads it, its installers
#    are the URL (given with a trailing slash, as a folder's address often is) followed by
#    the files' names, and each InstallerSha256 is the hash of the signed file beside it
#    (scripts/check-manifest.py); an earlier release's manifest left in OUT_DIR is gone.
# That the signed x64 program still starts under Wine is checked by scripts/test.sh, with
# the other Wine tests (Windows programs run one at a time).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="${1:?usage: release_test.sh OUT_DIR}"
URL="https://dorvane.example/release-test/"

KEYS="$(mktemp -d "${TMPDIR:-/tmp}/dorvane-release-test.XXXXXX")"
trap 'rm -rf "$KEYS"' EXIT
trap 'exit 143' TERM INT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Dorvane throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
  -keyout "$KEYS/key.pem" -out "$KEYS/cert.pem" 2>/dev/null
PASSWORD="test-$RANDOM$RANDOM"
openssl pkcs12 -export -inkey "$KEYS/key.pem" -in "$KEYS/cert.pem" -out "$KEYS/signer.pfx" -passout "pass:$PASSWORD"

# An earlier release's manifest, whose installers are gone: dist takes it away.
mkdir -p "$OUT/manifests/d/Dorvane/Dorvane/0.9.0.0"
touch "$OUT/manifests/d/Dorvane/Dorvane/0.9.0.0/Dorvane.Dorvane.installer.yaml"
DORVANE_SIGN_PASSWORD="$PASSWORD" bash "$ROOT/scripts/dist.sh" --out "$OUT" --pfx "$KEYS/signer.pfx" \
  --url "$URL" --ca "$KEYS/cert.pem"

failures=0
fail() { echo "release test: FAILED: $*" >&2; failures=$((failures + 1)); }
cd "$OUT"
sha256sum -c SHA256SUMS || fail "SHA256SUMS does not match the signed files"
# A fresh folder for the files without their signature: osslsigncode does not overwrite the
# ones an earlier run left.
rm -rf unsigned
mkdir unsigned
for arch in x64 x86; do
  exe="Dorvane-$arch.exe"
  if osslsigncode verify -CAfile "$KEYS/cert.pem" -in "$exe" >"verify-$arch.log" 2>&1; then
    grep -q '^Signature verification: ok' "verify-$arch.log" || fail "$exe: osslsigncode verify said no 'Signature verification: ok'"
    grep -q '^Message digest algorithm *: SHA256' "verify-$arch.log" || fail "$exe: the signature's digest is not SHA-256"
    grep -qx '[[:space:]]*Text description: Dorvane' "verify-$arch.log" || fail "$exe: the signature does not carry the name Dorvane"
    grep -qx "[[:space:]]*URL description: $URL" "verify-$arch.log" || fail "$exe: the signature does not carry the URL $URL"
  else
    cat "verify-$arch.log" >&2
    fail "$exe: the signature does not verify against the throwaway certificate"
  fi
  osslsigncode remove-signature -in "$exe" -out "unsigned/$exe" >/dev/null
done
(cd unsigned && sha256sum -c ../SHA256SUMS.unsigned) || fail "without its signature a file is not the unsigned build"
manifests=(manifests/d/Dorvane/Dorvane/*/)
if [ ${#manifests[@]} = 1 ] && [ -d "${manifests[0]}" ]; then
  /usr/bin/python3 "$ROOT/scripts/check-manifest.py" --files . --url "$URL" "${manifests[0]}" ||
    fail "the winget manifest in ${manifests[0]} does not pass (above)"
else
  fail "not one winget manifest version under $OUT/manifests/d/Dorvane/Dorvane/: ${manifests[*]}"
fi
[ "$failures" = 0 ] || exit 1
echo "release test: both files reproducible, signed, verified against the throwaway certificate, and unsigned again without their signature; the winget manifest passes its schema, with the signed files' hashes"
