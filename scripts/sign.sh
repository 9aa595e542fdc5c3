#!/usr/bin/env bash
# Authenticode-signs files in place with osslsigncode when a certificate is given, and does
# nothing otherwise (the normal build and the tests run unsigned).
#   VANTREL_SIGNING_CERT=cert.pfx [VANTREL_SIGNING_PASSWORD=...] [VANTREL_SIGNING_TIMESTAMP_URL=...] \
#     scripts/sign.sh FILE...
# VANTREL_SIGNING_CERT names a PKCS#12 file holding the code-signing certificate and its key.
set -euo pipefail

[ -n "${VANTREL_SIGNING_CERT:-}" ] || exit 0
[ -f "$VANTREL_SIGNING_CERT" ] || { echo "sign.sh: no certificate file $VANTREL_SIGNING_CERT" >&2; exit 1; }

for file in "$@"; do
  args=(sign -pkcs12 "$VANTREL_SIGNING_CERT" -h sha256 -n "Vantrel" -in "$file" -out "$file.signed")
  [ -z "${VANTREL_SIGNING_PASSWORD:-}" ] || args+=(-pass "$VANTREL_SIGNING_PASSWORD")
  [ -z "${VANTREL_SIGNING_TIMESTAMP_URL:-}" ] || args+=(-t "$VANTREL_SIGNING_TIMESTAMP_URL")
  rm -f "$file.signed"
  osslsigncode "${args[@]}" >/dev/null
  mv -f "$file.signed" "$file"
  echo "sign.sh: signed $file"
done
