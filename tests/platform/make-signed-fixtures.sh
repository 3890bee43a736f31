#!/usr/bin/env bash
# Makes the Authenticode fixtures of the signature tests at build time, with Debian's openssl
# and osslsigncode; no key and no signed file is ever committed.
#   make-signed-fixtures.sh OUTDIR [PE32PLUS [PE32]]
# signs the unsigned PE files (by default OUTDIR/mingw_pe32plus.exe and OUTDIR/mingw_pe32.exe,
# which the platform tests' CMake makes with the MinGW binutils) and writes into OUTDIR:
#   signed-primary.exe      PE32+, signed by the primary key (EKU codeSigning), SHA-256
#   signed-primary-pe32.exe PE32, the same signer
#   signed-backup.exe       signed by the backup key (another subject, EKU codeSigning)
#   signed-impostor.exe     signed by a certificate with the primary's subject but another key
#   signed-noeku.exe        signed by a certificate for serverAuth only
#   unsigned.exe            the PE32+ file as it was
#   tampered.exe            signed-primary.exe with one byte of its resource data changed
#   appended.exe            signed-primary.exe with bytes appended after the signature
#   not-pe.bin              text, no program
#   primary.spki-sha256, backup.spki-sha256, impostor.spki-sha256
#                           SHA-256 of each signer's SubjectPublicKeyInfo (DER), lower-case hex
#   root.der                the CA that issued all four signing certificates (DER), for Wine's
#                           Root store
# The keys and the certificates in PEM stay in OUTDIR/signing/. Every certificate is valid
# from an hour ago for ten years.
set -euo pipefail
out=${1:?usage: make-signed-fixtures.sh OUTDIR [PE32PLUS [PE32]]}
pe32plus=${2:-$out/mingw_pe32plus.exe}
pe32=${3:-$out/mingw_pe32.exe}
work=$out/signing
mkdir -p "$work"

# The subjects, RDNs in certificate order; CheckSignature reports them most specific first,
# "CN=Zelmarock Update Signing, O=Zelmarock Société" (Signature_test.cpp says so too).
primary_subject="/O=Zelmarock Société/CN=Zelmarock Update Signing"
backup_subject="/O=Zelmarock Société/CN=Zelmarock Backup Signing"

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/$1.key" 2>/dev/null; }

# issue NAME SUBJECT EXTENSIONS: a certificate for NAME.key issued by the root.
issue() {
    local name=$1 subject=$2 extensions=$3
    printf '[ext]\n%b\n' "$extensions" >"$work/$name.ext"
    openssl req -new -utf8 -key "$work/$name.key" -subj "$subject" -out "$work/$name.csr"
    openssl x509 -req -in "$work/$name.csr" -CA "$work/root.pem" -CAkey "$work/root.key" \
        -set_serial "0x$(openssl rand -hex 8)" -days 3650 -extfile "$work/$name.ext" -extensions ext \
        -out "$work/$name.pem" 2>/dev/null
}

spki_sha256() {
    openssl x509 -in "$work/$1.pem" -noout -pubkey | openssl pkey -pubin -outform DER |
        openssl dgst -sha256 -r | cut -d' ' -f1
}

# sign NAME IN OUT: signs IN with NAME's key and certificate, SHA-256.
sign() {
    rm -f "$3"
    osslsigncode sign -certs "$work/$1.pem" -key "$work/$1.key" -h sha256 \
        -n "Corvalite test fixture" -in "$2" -out "$3" >/dev/null
}

key root
openssl req -x509 -new -utf8 -key "$work/root.key" -subj "/O=Zelmarock Société/CN=Zelmarock Test Root" \
    -days 3650 -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" -out "$work/root.pem"
openssl x509 -in "$work/root.pem" -outform DER -out "$out/root.der"

code_signing='basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning'
for name in primary backup impostor noeku; do key "$name"; done
issue primary "$primary_subject" "$code_signing"
issue backup "$backup_subject" "$code_signing"
issue impostor "$primary_subject" "$code_signing"
issue noeku "$primary_subject" \
    'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth'

for name in primary backup impostor; do spki_sha256 "$name" >"$out/$name.spki-sha256"; done

cp "$pe32plus" "$out/unsigned.exe"
sign primary "$pe32plus" "$out/signed-primary.exe"
sign primary "$pe32" "$out/signed-primary-pe32.exe"
sign backup "$pe32plus" "$out/signed-backup.exe"
sign impostor "$pe32plus" "$out/signed-impostor.exe"
sign noeku "$pe32plus" "$out/signed-noeku.exe"

# One byte of the version record's "Sample" (UTF-16) becomes another letter.
cp "$out/signed-primary.exe" "$out/tampered.exe"
at=$(LC_ALL=C grep -obUaP 'S\x00a\x00m\x00p\x00l\x00e\x00' "$out/tampered.exe" | head -1 | cut -d: -f1)
[ -n "$at" ] || { echo "make-signed-fixtures.sh: no version record to change in $pe32plus" >&2; exit 1; }
printf 'X' | dd of="$out/tampered.exe" bs=1 seek="$at" conv=notrunc status=none

cat "$out/signed-primary.exe" >"$out/appended.exe"
printf 'bytes after the signature\n' >>"$out/appended.exe"
printf 'Not a program, only text.\n' >"$out/not-pe.bin"
