#!/usr/bin/env bash
# run.sh PROGRAM: the web remote's figures, inside a namespace of its own (loopback only),
# over TLS with a certificate made for the run.
set -euo pipefail
[ "${ZENTROVA_NETLESS:-}" = 1 ] || exec "$(dirname "$0")/../../scripts/netless" env ZENTROVA_NETLESS=1 bash "$0" "$@"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen ZENTROVA=$1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
TOKEN=$("$ZENTROVA" --new-api-token 2>/dev/null)
settings=$(find "$HOME" -name config.json | head -n 1)
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
CERT=$work/cert.pem KEY=$work/key.pem SETTINGS=$settings node -e '
const fs = require("fs");
const settings = JSON.parse(fs.readFileSync(process.env.SETTINGS, "utf8"));
settings.api = { ...settings.api, tls_cert: process.env.CERT, tls_key: process.env.KEY };
fs.writeFileSync(process.env.SETTINGS, JSON.stringify(settings));'
# The certificate is the run's own, on loopback: node takes it without a chain.
TOKEN=$TOKEN NODE_TLS_REJECT_UNAUTHORIZED=0 node "$(dirname "$0")/bench.mjs"
