#!/usr/bin/env bash
# Makes the responder's certificate files for tests in OUTDIR (once):
#   root.pem     the test root (PEM), root.key its key
#   jsxCVsc.cer  the same root, DER, as it is installed beside the programs
#   locrt, locrk the server certificate (RSA-2048, for localhost and 127.0.0.1,
#                signed by the root) and its key, PEM
# Each tree makes its own; nothing here is a deployment certificate.
set -euo pipefail
out=${1:?usage: make_test_certs.sh OUTDIR}
mkdir -p "$out"
cd "$out"
[ -s locrt ] && [ -s locrk ] && [ -s jsxCVsc.cer ] && exit 0

quiet() { "$@" >/dev/null 2>&1 || { echo "make_test_certs: $* failed" >&2; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -keyout root.key -out root.pem -subj "/O=Corvanta Test/CN=Corvanta Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
quiet openssl x509 -in root.pem -outform DER -out jsxCVsc.cer
quiet openssl req -newkey rsa:2048 -nodes -sha256 -keyout locrk.tmp -out server.csr \
  -subj "/O=Corvanta Test/CN=localhost"
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
  "extendedKeyUsage=serverAuth" "subjectAltName=DNS:localhost,IP:127.0.0.1" > server.ext
quiet openssl x509 -req -in server.csr -CA root.pem -CAkey root.key -CAcreateserial \
  -days 3650 -sha256 -extfile server.ext -out locrt.tmp
# The key in the traditional PEM form that every reader takes.
quiet openssl rsa -in locrk.tmp -out locrk.tmp2 -traditional
mv locrk.tmp2 locrk && rm -f locrk.tmp server.csr server.ext root.srl && mv locrt.tmp locrt
