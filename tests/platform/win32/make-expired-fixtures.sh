#!/usr/bin/env bash
# Makes the expiry fixtures of the Windows signature tests at build time, from the CA that
# make-signed-fixtures.sh left in SIGNED/signing/:
#   make-expired-fixtures.sh SIGNED PE32PLUS
# writes into SIGNED:
#   expired.exe              signed by a certificate valid only in 2020, no timestamp (its
#                            signing time attribute, which vouches for nothing, lies in 2020)
#   expired-timestamped.exe  the same signer, with an RFC 3161 timestamp of 2020 by a TSA of
#                            the same CA
set -euo pipefail
out=${1:?usage: make-expired-fixtures.sh SIGNED PE32PLUS}
pe=${2:?usage: make-expired-fixtures.sh SIGNED PE32PLUS}
ca=$out/signing
work=$out/expired-signing
rm -rf "$work"
mkdir -p "$work"
: >"$work/index.txt"
echo 01 >"$work/serial"
cat >"$work/ca.cnf" <<CONF
[ca]
default_ca = fixtures
[fixtures]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = any
unique_subject = no
[any]
organizationName = optional
commonName = supplied
[signing]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
[tsa]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
CONF

# issue NAME SUBJECT EXTENSIONS START END
issue() {
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/$1.key" 2>/dev/null
    openssl req -new -utf8 -key "$work/$1.key" -subj "$2" -out "$work/$1.csr"
    openssl ca -batch -config "$work/ca.cnf" -cert "$ca/root.pem" -keyfile "$ca/root.key" \
        -preserveDN -notext -extensions "$3" -startdate "$4" -enddate "$5" \
        -in "$work/$1.csr" -out "$work/$1.pem" 2>/dev/null
}
issue old "/O=Zelmarock/CN=Zelmarock 2020 Signing" signing 20200101000000Z 20210101000000Z
issue tsa "/O=Zelmarock/CN=Zelmarock Test Timestamps" tsa 20190101000000Z 20390101000000Z
cat "$work/tsa.pem" "$ca/root.pem" >"$work/tsa-chain.pem"

may2020=1590000000
rm -f "$out/expired.exe" "$out/expired-timestamped.exe"
osslsigncode sign -certs "$work/old.pem" -key "$work/old.key" -h sha256 -time $may2020 \
    -in "$pe" -out "$out/expired.exe" >/dev/null
osslsigncode sign -certs "$work/old.pem" -key "$work/old.key" -h sha256 -time $may2020 \
    -TSA-certs "$work/tsa-chain.pem" -TSA-key "$work/tsa.key" -TSA-time $may2020 \
    -in "$pe" -out "$out/expired-timestamped.exe" >/dev/null
