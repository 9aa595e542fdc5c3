#!/bin/sh
# Signing through scripts/sign.sh: without a certificate nothing changes; with a throwaway
# self-signed code-signing certificate made here, copies of the release DLL and of the package
# carry Authenticode signatures that osslsigncode verifies against that certificate.
#   check_signing.sh SIGN_SCRIPT RELEASE_DLL PACKAGE
set -eu
sign=$1 dll=$2 msi=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$dll" "$work/Vantrel.dll"
cp "$msi" "$work/Vantrel.msi"
env -u VANTREL_SIGNING_CERT bash "$sign" "$work/Vantrel.dll" "$work/Vantrel.msi"
cmp "$dll" "$work/Vantrel.dll"
cmp "$msi" "$work/Vantrel.msi"
if osslsigncode verify -in "$work/Vantrel.dll" >/dev/null 2>&1; then
  echo "an unsigned build verifies as signed" >&2
  exit 1
fi

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vantrel test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" -passout pass:throwaway
VANTREL_SIGNING_CERT="$work/cert.pfx" VANTREL_SIGNING_PASSWORD=throwaway \
  bash "$sign" "$work/Vantrel.dll" "$work/Vantrel.msi"
for file in "$work/Vantrel.dll" "$work/Vantrel.msi"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.txt" 2>&1 || {
    cat "$work/verify.txt" >&2
    exit 1
  }
  grep -q "CN=Vantrel test signing" "$work/verify.txt"
done
echo "signed and verified: Vantrel.dll, Vantrel.msi"
