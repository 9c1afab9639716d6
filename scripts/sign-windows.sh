#!/usr/bin/env bash
# Signs Windows files in place with Authenticode (SHA-256) through osslsigncode, with the
# organisation's certificate from the environment:
#   QUELLIN_SIGN_PFX         the PKCS#12 (.pfx) file with the code-signing certificate and its key
#   QUELLIN_SIGN_PASSWORD    its password (may be empty)
#   QUELLIN_SIGN_TIMESTAMP   optional: an RFC 3161 timestamp server's address, so signatures
#                            outlive the certificate
# Without QUELLIN_SIGN_PFX the files stay unsigned, and it says so in one line.
#   scripts/sign-windows.sh FILE...
set -euo pipefail
if [ -z "${QUELLIN_SIGN_PFX:-}" ]; then
  echo "sign-windows: no certificate in QUELLIN_SIGN_PFX, $# file(s) left unsigned"
  exit 0
fi
[ -r "$QUELLIN_SIGN_PFX" ] || { echo "sign-windows: cannot read $QUELLIN_SIGN_PFX" >&2; exit 1; }
timestamp=()
[ -n "${QUELLIN_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$QUELLIN_SIGN_TIMESTAMP")
# The password goes through a private file, not the command line other users can list.
pass="$(mktemp)"
trap 'rm -f "$pass"' EXIT
printf '%s' "${QUELLIN_SIGN_PASSWORD:-}" >"$pass"
for f in "$@"; do
  osslsigncode sign -pkcs12 "$QUELLIN_SIGN_PFX" -readpass "$pass" -h sha256 -n Quellin \
    "${timestamp[@]}" -in "$f" -out "$f.signing" >/dev/null
  mv -f "$f.signing" "$f"
done
echo "sign-windows: signed $#: $*"
