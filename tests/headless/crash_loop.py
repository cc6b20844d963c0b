#!/usr/bin/env python3
"""crash_loop.py PROGRAM TOKEN CONFIG WALL ROUNDS
Starts the service again and again, streams renames of WALL through the line API and kills
it (SIGKILL) at a random moment: the settings file must parse after every kill and hold a
rename at least as new as every one answered ok well before the kill."""
import json, random, socket, subprocess, sys, time

program, token, config, wall, rounds = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
PORT = 7740
# The saves are coalesced for 300 ms; the rest is room for a loaded machine.
SETTLED = 1.0


def connect(deadline):
    while True:
        try:
            return socket.create_connection(("127.0.0.1", PORT), timeout=5)
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def alias():
    with open(config) as f:
        return json.load(f).get("alias_map", {}).get(wall)


failures = 0
for round in range(rounds):
    process = subprocess.Popen([program, "--headless", "--api"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        sock = connect(time.monotonic() + 10)
        lines = sock.makefile("rwb")
        lines.write(f"auth {token}\n".encode())
        lines.flush()
        assert lines.readline().startswith(b"ok"), "not authenticated"
        kill_at = time.monotonic() + random.uniform(0.2, 2.5)
        acknowledged = []  # (time, number)
        number = 0
        while time.monotonic() < kill_at:
            number += 1
            lines.write(f'rename "{wall}" "R{round}-{number}"\n'.encode())
            lines.flush()
            if lines.readline().startswith(b"ok"):
                acknowledged.append((time.monotonic(), number))
            # Below the API's limit of 50 commands a second.
            time.sleep(0.03)
        killed = time.monotonic()
        process.kill()
        process.wait(10)
        sock.close()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(10)
    try:
        saved = alias()
    except ValueError as error:
        print(f"FAIL round {round}: the file does not parse after the kill: {error}", file=sys.stderr)
        failures += 1
        continue
    settled = [n for t, n in acknowledged if t <= killed - SETTLED]
    if not settled:
        continue
    held = int(saved.split("-")[1]) if saved and saved.startswith(f"R{round}-") else 0
    if held < settled[-1]:
        print(f"FAIL round {round}: the file holds {saved}, not R{round}-{settled[-1]} or newer "
              f"(answered {killed - dict((n, t) for t, n in acknowledged)[settled[-1]]:.2f} s before the kill)",
              file=sys.stderr)
        failures += 1
sys.exit(1 if failures else 0)
