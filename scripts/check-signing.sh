#!/usr/bin/env bash
# Checks the signed package as a publisher with a code-signing certificate makes it, with a
# throwaway self-signed certificate made here (in build/signing/certificate, never kept
# elsewhere): a build folder of its own (build/signing, configured like build/windows without the
# tests) makes the package
#  - with the certificate named in the environment, first missing and then with a wrong
#    password: the package step fails, its error names the file, and no zip, checksum or signed
#    program is left behind (not even the zip made before);
#  - with the certificate named in the cache variables: the zip's program carries a SHA-256
#    Authenticode signature that osslsigncode verifies against the certificate, the checksum
#    file matches the signed zip, removing the signature gives back the tested program byte for
#    byte, and the signed program starts under Wine, shows its window and closes cleanly.
# Run after the Windows suites (it compares with their program); needs an X display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
tested_build=$root/build/windows
tested_exe=$tested_build/src/win32/VXTVannikorde.exe
build=$root/build/signing
certificate=$build/certificate

log() { echo "check-signing.sh: $*"; }
fail() { echo "check-signing.sh: FAILED: $*" >&2; exit 1; }

[ -n "${DISPLAY:-}" ] || fail "no X display (run it under xvfb-run -a)"
[ -f "$tested_exe" ] || fail "$tested_exe is missing: build and test the windows preset first"
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$tested_build/CMakeCache.txt"; }
name=VXTVannikorde-$(cache_value CMAKE_PROJECT_VERSION)-win64
zip=$build/$name.zip

# --- A throwaway certificate for code signing ----------------------------------------------
rm -rf "$certificate"
mkdir -p "$certificate"
(
  cd "$certificate"
  openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=VXTVannikorde test signer" \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
  openssl rand -hex 16 >password.txt
  openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout file:password.txt
  echo "not the password" >wrong-password.txt
) || fail "openssl could not make the throwaway certificate in $certificate"
log "made a throwaway code-signing certificate in $certificate"

# The same settings as the tested build, so that its unsigned program is the tested one.
configure() {
  cmake --preset windows -B "$build" -DVXT_BUILD_TESTS=OFF \
    "-DVXT_DEFAULT_SERVER=$(cache_value VXT_DEFAULT_SERVER)" \
    "-DVXT_DEFAULT_PIN=$(cache_value VXT_DEFAULT_PIN)" "$@" >>"$build/configure.log" 2>&1 ||
    fail "$build could not be configured (see $build/configure.log)"
}
package() { cmake --build "$build" -j"$(nproc)" --target package; }

mkdir -p "$build"
configure -UVXT_SIGN_PKCS12 -UVXT_SIGN_PASSWORD_FILE -UVXT_SIGN_TIMESTAMP_URL

# --- Refused: a missing certificate, a wrong password --------------------------------------
# Each time after an unsigned package was made (and the program is up to date), which must go too.
programs() { find "$build" -path "$build/CMakeFiles" -prune -o -name '*.exe' -print0 | sort -z | xargs -0 sha256sum; }
refused() {  # what, the file the error must name, environment for the package step...
  local what=$1 file=$2 output programs_before; shift 2
  package >>"$build/unsigned.log" 2>&1 || fail "the unsigned package was not made (see $build/unsigned.log)"
  programs_before=$(programs)
  output=$(env "$@" cmake --build "$build" --target package 2>&1) &&
    fail "the package step succeeded with $what"
  grep -qF "$file" <<<"$output" || fail "the package step's error for $what does not name $file: $output"
  local left
  left=$(cd "$build" && ls -d "$name"* package-work 2>/dev/null | tr '\n' ' ' || true)
  [ -z "$left" ] || fail "the package step left [$left] behind after failing with $what"
  [ "$(programs)" = "$programs_before" ] || fail "a program was written while failing with $what"
  log "refused $what, naming $file; nothing left behind"
}
refused "a missing certificate file" "$certificate/missing.p12" \
  "VXT_SIGN_PKCS12=$certificate/missing.p12" "VXT_SIGN_PASSWORD_FILE=$certificate/password.txt"
refused "a wrong password" "$certificate/cert.p12" \
  "VXT_SIGN_PKCS12=$certificate/cert.p12" "VXT_SIGN_PASSWORD_FILE=$certificate/wrong-password.txt"

# --- Signed ----------------------------------------------------------------------------------
configure "-DVXT_SIGN_PKCS12=$certificate/cert.p12" "-DVXT_SIGN_PASSWORD_FILE=$certificate/password.txt"
package >"$build/signed.log" 2>&1 || fail "the signed package was not made (see $build/signed.log)"
[ -f "$zip" ] && [ -f "$zip.sha256" ] || fail "the signed package made no $zip and $zip.sha256"
(cd "$build" && sha256sum --check --strict --quiet "$name.zip.sha256") || fail "$zip.sha256 does not match $zip"
unpacked=$build/package-check
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip") || fail "$zip cannot be unpacked"
folder=$unpacked/$name
signed=$folder/VXTVannikorde.exe

verified=$(osslsigncode verify -CAfile "$certificate/cert.pem" -in "$signed" 2>&1) ||
  fail "osslsigncode does not verify the signed program against the certificate: $verified"
grep -q "Signature verification: ok" <<<"$verified" || fail "the signature was not verified: $verified"
grep -q "Subject: /CN=VXTVannikorde test signer" <<<"$verified" || fail "the signer is not the certificate's subject: $verified"
grep -q "Message digest algorithm *: SHA256" <<<"$verified" || fail "the signature's digest is not SHA-256: $verified"
log "the zip's program is signed (SHA-256) by the certificate's subject; osslsigncode verifies it"

osslsigncode remove-signature -in "$signed" -out "$unpacked/unsigned.exe" >/dev/null ||
  fail "osslsigncode cannot remove the signature of $signed"
cmp "$unpacked/unsigned.exe" "$tested_exe" ||
  fail "the signed program without its signature is not the tested $tested_exe"
log "without its signature the signed program is the tested one, byte for byte"

. scripts/program-window.sh
check_program_window "$folder" "$tested_build/.wine"
echo "signing: $zip signed, verified, the tested program once unsigned, starts and closes OK"
