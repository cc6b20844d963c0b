#!/usr/bin/env bash
# run-fuzz.sh TARGET SECONDS WORK_CORPUS [SEED_DIR]: a bounded libFuzzer run.
set -euo pipefail
target=$1 seconds=$2 work=$3 seeds=${4:-}
mkdir -p "$work"
dirs=("$work")
[ -n "$seeds" ] && [ -d "$seeds" ] && dirs+=("$seeds")
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dirs[@]}"
