#!/usr/bin/env python3
"""clients.py URL TOKEN CONTROLLER_PID FLEET_LOG DECODERS [FINGERPRINT]: the control API
benchmark's clients (see run.sh); with a wss:// URL, over TLS to the certificate whose SHA-256
fingerprint is given. Prints figures, never passes or fails on time.

Routes travel WebSocket -> controller -> telnet -> the fleet's decoder shell, which logs the
arrival on the monotonic clock all processes share; the controller's CPU and memory are
read from /proc while it works.
"""
import asyncio
import base64
import hashlib
import hmac
import json
import os
import ssl
import statistics
import sys
import time

import websockets

url, token, pid, fleet_log, decoders = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
fingerprint = sys.argv[6].replace(":", "").lower() if len(sys.argv) > 6 else None
tls = None
if url.startswith("wss:"):
    # The controller's own certificate: trusted by its pinned fingerprint, checked on every connection.
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    tls.check_hostname, tls.verify_mode = False, ssl.CERT_NONE
SIGN_IN_SECONDS = 5
SIGN_IN_WORKERS = 3
ROUTES = 200
WATCHERS = 8
CROWD = 100
TICKS = os.sysconf("SC_CLK_TCK")


def controller_cpu():
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def controller_rss_kib():
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def now_us():
    return time.monotonic_ns() // 1000


class Client:
    def __init__(self, ws):
        self.ws = ws
        self.next_id = 0
        self.sources = 0

    @classmethod
    async def connect(cls, subscribe=True):
        client = cls(await websockets.connect(url, max_size=None, open_timeout=30, ssl=tls))
        if tls:
            der = client.ws.transport.get_extra_info("ssl_object").getpeercert(binary_form=True)
            if hashlib.sha256(der).hexdigest() != fingerprint:
                raise SystemExit("the controller's certificate is not the pinned one")
        hello = json.loads(await client.ws.recv())["params"]
        # The sign-in proof over the greeting's challenge (the controller keeps only a hash of
        # the client key).
        nonce = base64.b64encode(os.urandom(18)).decode()
        salted = base64.b64encode(hashlib.sha256((token + hello["salt"]).encode()).digest())
        client_key = hmac.new(salted, b"Client Key", "sha256").digest()
        message = f'{hello["salt"]},{hello["challenge"]},{nonce}'.encode()
        signature = hmac.new(hashlib.sha256(client_key).digest(), message, "sha256").digest()
        proof = base64.b64encode(bytes(a ^ b for a, b in zip(client_key, signature))).decode()
        await client.call("auth", {"nonce": nonce, "proof": proof})
        if subscribe:
            await client.call("subscribe")
        return client

    async def call(self, method, params=None):
        self.next_id += 1
        await self.ws.send(json.dumps({"jsonrpc": "2.0", "id": self.next_id, "method": method, "params": params or {}}))
        while True:
            message = await self.ws.recv()
            if '"method":"event"' in message:
                self.sources += '"name":"source"' in message
                continue
            answer = json.loads(message)
            if answer.get("id") == self.next_id:
                return answer

    async def drain(self):
        """Counts events until the connection is closed or cancelled."""
        async for message in self.ws:
            if '"name":"source"' in message:
                self.sources += 1


class FleetLog:
    """Arrivals of route commands at the decoder shells, as the fleet notes them."""

    def __init__(self, path):
        self.file = open(path)
        self.file.seek(0, os.SEEK_END)

    async def arrival(self, source, timeout=5.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            line = self.file.readline()
            if not line:
                await asyncio.sleep(0.001)
                continue
            parts = line.split(" ", 2)
            if parts[0] == "command" and source in parts[2]:
                return int(parts[1])
        return None


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


async def route_latency():
    watchers = [await Client.connect() for _ in range(WATCHERS)]
    drains = [asyncio.create_task(w.drain()) for w in watchers[1:]]
    router = watchers[0]
    state = (await router.call("state"))["result"]
    encoders = [e["name"] for e in state["encoders"]]
    targets = [d["name"] for d in state["decoders"]]
    fleet = FleetLog(fleet_log)
    latencies, lost = [], 0
    # What the controller spends doing nothing (discovery, timers), to take off the figure.
    idle_before = controller_cpu()
    await asyncio.sleep(3)
    idle_per_second = (controller_cpu() - idle_before) / 3
    started = time.monotonic()
    cpu_before = controller_cpu()
    for i in range(ROUTES):
        source = encoders[i % len(encoders)]
        sent = now_us()
        answer = await router.call("route", {"source": source, "target": targets[(i * 7) % len(targets)]})
        if "error" in answer:
            raise SystemExit(f"route refused: {answer}")
        arrived = await fleet.arrival(source)
        if arrived is None:
            lost += 1
        else:
            latencies.append((arrived - sent) / 1000)
        await asyncio.sleep(0.025)  # within the default 50 commands per second
    cpu = controller_cpu() - cpu_before - idle_per_second * (time.monotonic() - started)
    print(f"route -> command line at the decoder's shell, {WATCHERS} clients subscribed, {len(latencies)} routes:"
          f" median {statistics.median(latencies):.1f} ms, 99th percentile {percentile(latencies, 0.99):.1f} ms,"
          f" max {max(latencies):.1f} ms, not seen {lost} (reference: median <= 20 ms, 99th <= 50 ms)")
    print(f"controller CPU over {ROUTES} routes with {WATCHERS} subscribed clients, idle load taken off:"
          f" {cpu * 1000:.0f} ms, {cpu * 1000 / ROUTES:.2f} ms per command (idle: {idle_per_second * 1000:.0f} ms/s)")
    for task in drains:
        task.cancel()
    for w in watchers:
        await w.ws.close()


async def crowd():
    rss_before = controller_rss_kib()
    clients = [await Client.connect() for _ in range(CROWD)]
    await asyncio.sleep(2)
    rss_after = controller_rss_kib()
    print(f"controller memory with {CROWD} idle subscribed clients: {(rss_after - rss_before) / CROWD:.1f} KiB per client"
          f" (RSS {rss_before} -> {rss_after} KiB; reference: <= 64 KiB)")
    state = (await clients[0].call("state"))["result"]
    encoders = [e["name"] for e in state["encoders"]]
    for round_, source in enumerate(encoders[-3:]):
        # A screen that shows the source already reports no change.
        state = (await clients[0].call("state"))["result"]
        expected = sum(1 for entry in state["decoders"] + state["walls"] if entry.get("source") != source)
        for c in clients:
            c.sources = 0
        drains = [asyncio.create_task(c.drain()) for c in clients[1:]]
        cpu_before = controller_cpu()
        sent = time.monotonic()
        answer = await clients[0].call("route", {"source": source, "target": "all"})
        if "error" in answer:
            raise SystemExit(f"route refused: {answer}")
        drains.append(asyncio.create_task(clients[0].drain()))
        finish = [None] * CROWD
        while time.monotonic() - sent < 30 and None in finish:
            for n, c in enumerate(clients):
                if finish[n] is None and c.sources >= expected:
                    finish[n] = time.monotonic() - sent
            await asyncio.sleep(0.001)
        cpu = controller_cpu() - cpu_before
        done = [f for f in finish if f is not None]
        events = expected * CROWD
        print(f"route to all screens, round {round_ + 1}: {len(done)} of {CROWD} clients had all {expected} events;"
              f" last after {max(done) * 1000 if done else float('nan'):.0f} ms (reference: <= 500 ms);"
              f" controller CPU {cpu * 1000:.0f} ms, {cpu * 1e6 / events:.1f} us per event per client")
        for task in drains:
            task.cancel()
        await asyncio.sleep(1)
    for c in clients:
        await c.ws.close()


async def sign_ins():
    """Whole sign-ins (connection, TLS handshake when on, proof, answer) one after the other
    from a few clients at once, each closed before the next."""
    count = 0

    async def worker(end):
        nonlocal count
        while time.monotonic() < end:
            client = await Client.connect(subscribe=False)
            await client.ws.close()
            count += 1

    cpu_before = controller_cpu()
    started = time.monotonic()
    await asyncio.gather(*(worker(started + SIGN_IN_SECONDS) for _ in range(SIGN_IN_WORKERS)))
    elapsed = time.monotonic() - started
    cpu = controller_cpu() - cpu_before
    print(f"sign-ins{' over TLS' if tls else ''}, {SIGN_IN_WORKERS} clients one after the other: {count / elapsed:.0f}"
          f" a second; controller CPU {cpu * 1000 / count:.2f} ms per sign-in")


async def main():
    await route_latency()
    await crowd()
    await sign_ins()


asyncio.run(main())
