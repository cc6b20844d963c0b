#!/usr/bin/env bash
# web_remote_test.sh PROGRAM: the web remote in headless chromium against the program as a
# service in demo mode, over TLS. Run under scripts/netless: loopback is the only interface.
set -euo pipefail
program=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
[ -d "$here/node_modules/puppeteer-core" ] || { echo "run scripts/install-deps first (npm ci in tests/web)" >&2; exit 1; }
TOKEN=$("$program" --new-api-token 2>/dev/null)
# Over TLS as it ships, the browser pinning the certificate the controller makes for itself
# (made here, before the first start, as --api-fingerprint does), by its public key's hash.
"$program" --api-fingerprint >/dev/null 2>&1
certificate=$HOME/.zentrova/api-certificate.pem
SPKI=$(openssl x509 -in "$certificate" -pubkey -noout | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -binary | base64)
export SCHEME=https SPKI NODE_EXTRA_CA_CERTS=$certificate
SETTINGS=$(find "$HOME" -name config.json | head -n 1)
export TOKEN SETTINGS ZENTROVA=$program
# The test starts and stops the program itself (it takes it away and brings it back).
node --test --test-concurrency=1 "$@" "$here/remote_page.test.mjs"
