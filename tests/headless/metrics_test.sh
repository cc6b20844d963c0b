#!/usr/bin/env bash
# metrics_test.sh PROGRAM
# The program as a service in demo mode, scraped by a real Prometheus over loopback with TLS,
# trusting the certificate the controller made for itself: the metrics need the API token,
# pass promtool, and the devices-online series reaches Prometheus' query API. Run under
# scripts/netless: loopback is the only interface.
set -euo pipefail
source "$(dirname "$0")/../support/service_home.sh"
# A copy in a folder without the demo video: its encoders never have a picture.
cp "$1" "$work/zentrova"
program=$work/zentrova
port=7741
certificate=$HOME/.zentrova/api-certificate.pem
get() { curl -s --cacert "$certificate" "$@"; }
prometheus_port=9090

wait_for() { # wait_for SECONDS COMMAND...: until the command succeeds
    local until=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $until ] || return 1
        sleep 0.2
    done
}

token=$("$program" --new-api-token 2>/dev/null)
"$program" --headless --demo --api >>"$work/out.txt" 2>&1 & pids+=($!)
wait_for 30 get -o /dev/null "https://127.0.0.1:$port/" || fail "nothing listens on port $port"

# Without the token, or with another one, nothing of the installation is told.
status=$(get -o "$work/refused.txt" -w '%{http_code}' "https://127.0.0.1:$port/metrics")
[ "$status" = 401 ] || fail "without a token /metrics answered $status"
grep -q zentrova_ "$work/refused.txt" && fail "a refused request was given figures"
status=$(get -o /dev/null -w '%{http_code}' -H "Authorization: Bearer not-$token" "https://127.0.0.1:$port/metrics")
[ "$status" = 401 ] || fail "with a wrong token /metrics answered $status"

# An encoder with no picture yet is told apart from one that does not exist.
status=$(get -o "$work/thumbnail.txt" -w '%{http_code}' -H "Authorization: Bearer $token" \
    "https://127.0.0.1:$port/thumbnail/IPE9DEMO-7C2E0DFF0001")
[ "$status $(cat "$work/thumbnail.txt")" = "404 no picture from this encoder yet" ] \
    || fail "a thumbnail before the first picture: $status $(cat "$work/thumbnail.txt")"

get -D "$work/headers.txt" -o "$work/metrics.txt" -H "Authorization: Bearer $token" "https://127.0.0.1:$port/metrics"
grep -qi '^content-type: text/plain; version=0.0.4' "$work/headers.txt" || fail "not Prometheus' content type"
promtool check metrics <"$work/metrics.txt" >"$work/promtool.txt" 2>&1 || fail "promtool: $(cat "$work/promtool.txt")"
grep -q '^zentrova_devices_online{kind="decoder"} [1-9]' "$work/metrics.txt" || fail "no decoder online in the metrics"

cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: zentrova
    metrics_path: /metrics
    scheme: https
    tls_config:
      ca_file: $certificate
    authorization:
      type: Bearer
      credentials: $token
    static_configs:
      - targets: ['127.0.0.1:$port']
YAML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 & pids+=($!)
query() { curl -s "http://127.0.0.1:$prometheus_port/api/v1/query" --data-urlencode "query=$1"; }
# Scraped at least once, with a value for the decoders online.
online() { query 'zentrova_devices_online{kind="decoder"} > 0' | grep -q '"kind":"decoder"'; }
wait_for 90 online || fail "Prometheus has no devices-online series: $(query 'up'; tail -5 "$work/prometheus.log")"
query 'up{job="zentrova"}' | grep -q '"value":\[[0-9.]*,"1"\]' || fail "Prometheus does not see the target up: $(query 'up')"

# Every query of the Grafana dashboard is one Prometheus takes.
dashboard=$(dirname "$0")/../../dist/grafana-dashboard.json
python3 -c 'import json,sys
for panel in json.load(open(sys.argv[1]))["panels"]:
    for target in panel["targets"]:
        print(target["expr"].replace("$job", ".*"))' "$dashboard" >"$work/queries.txt"
[ -s "$work/queries.txt" ] || fail "no queries found in the dashboard"
while IFS= read -r expression; do
    answer=$(query "$expression")
    echo "$answer" | grep -q '"status":"success"' || fail "the dashboard's query $expression: $answer"
done <"$work/queries.txt"

verdict metrics_test
