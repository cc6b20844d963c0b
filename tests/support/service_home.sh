# Sourced by the tests that start the program as a service: a home and runtime folder of
# their own, and every process the test puts in `pids` ended when it exits, also on failure.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# fail WHY: one failure more; expect NAME FILE PATTERN: a failure unless a line of FILE matches
# the extended regular expression; wait_for_port PORT: up to 10 s for something to listen on
# PORT; verdict NAME: exit 1 after any failure (with the tail of each $work/*.out), else passed.
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() {
    grep -qE -- "$3" "$2" || { fail "$1: no line matching '$3' in:"; sed 's/^/    /' "$2" | tail -40 >&2; }
}
wait_for_port() {
    for _ in $(seq 100); do socat -u /dev/null "TCP:127.0.0.1:$1" 2>/dev/null && return 0; sleep 0.1; done
    fail "nothing listens on port $1"
}
verdict() {
    if [ $failures -gt 0 ]; then
        echo "$1: $failures failures" >&2
        for out in "$work"/*.out; do [ ! -e "$out" ] || { echo "== $out"; tail -20 "$out"; }; done >&2
        exit 1
    fi
    echo "$1: passed"
}
