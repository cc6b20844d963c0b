#!/usr/bin/env bash
# run.sh PROGRAM: the web remote's figures, inside a namespace of its own (loopback only).
set -euo pipefail
[ "${ZENTROVA_NETLESS:-}" = 1 ] || exec "$(dirname "$0")/../../scripts/netless" env ZENTROVA_NETLESS=1 bash "$0" "$@"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen ZENTROVA=$1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
TOKEN=$("$ZENTROVA" --new-api-token 2>/dev/null)
# The page's figures over the plain web port, asked for explicitly.
python3 "$(dirname "$0")/../../tests/support/set_api_settings.py" "$HOME/.zentrova/config.json" web_tls=false
TOKEN=$TOKEN node "$(dirname "$0")/bench.mjs"
