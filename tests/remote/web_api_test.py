#!/usr/bin/env python3
"""web_api_test.py PROGRAM: the control API's HTTP and WebSocket side, as clients see it.

Runs the program as the headless service over the demo installation (run it under
scripts/netless: loopback is then all there is) and talks to it with a real WebSocket
client and plain HTTP, at the limits the program ships with.
"""
import asyncio
import base64
import hashlib
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import websockets

HOST = "127.0.0.1"
PORT = 7741
RATE = 50
MAX_CLIENTS = 64
TIMEOUT = 10

program = None
token = None
log_path = None


def small_socket_buffers():
    """Lets a client that stops reading fill the server's side quickly, but only in a
    network namespace with nothing but loopback (scripts/netless), never the machine's."""
    try:
        if [name for _, name in socket.if_nameindex()] == ["lo"]:
            with open("/proc/sys/net/ipv4/tcp_wmem", "w") as setting:
                setting.write("4096 16384 65536")
    except OSError:
        pass


def start_host(path):
    global program, token, log_path
    small_socket_buffers()
    home = tempfile.mkdtemp(prefix="web-api-test.")
    runtime = os.path.join(home, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen")
    log_path = os.path.join(home, ".zentrova", "zentrova.log")
    token = subprocess.run([path, "--new-api-token"], env=env, capture_output=True, text=True,
                           timeout=30).stdout.strip()
    program = subprocess.Popen([path, "--headless", "--demo", "--api"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        try:
            socket.create_connection((HOST, PORT), timeout=1).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("the program does not listen on the web port")


def host_log(wait=0.0):
    """The program's log so far, after waiting a little for it to be written."""
    time.sleep(wait)
    with open(log_path, errors="replace") as log:
        return log.read()


def answer_for(hello, secret_token):
    salt = hello["params"]["salt"]
    secret = base64.b64encode(hashlib.sha256((secret_token + salt).encode()).digest())
    return base64.b64encode(hashlib.sha256(secret + hello["params"]["challenge"].encode()).digest()).decode()


class Client:
    """One WebSocket client with numbered requests; events are kept apart from answers."""

    def __init__(self, ws):
        self.ws = ws
        self.next_id = 0
        self.events = []
        self.hello = None

    @classmethod
    async def connect(cls, authenticate=True, **kwargs):
        client = cls(await websockets.connect(f"ws://{HOST}:{PORT}/ws", open_timeout=TIMEOUT, **kwargs))
        client.hello = json.loads(await asyncio.wait_for(client.ws.recv(), TIMEOUT))
        if authenticate:
            answer = await client.call("auth", {"response": answer_for(client.hello, token)})
            assert answer.get("result") == {"authenticated": True}, answer
        return client

    async def send(self, method, params=None):
        self.next_id += 1
        message = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            message["params"] = params
        await self.ws.send(json.dumps(message))
        return self.next_id

    async def receive(self):
        message = json.loads(await asyncio.wait_for(self.ws.recv(), TIMEOUT))
        if isinstance(message, dict) and message.get("method") == "event":
            self.events.append(message["params"])
            return None
        return message

    async def answer(self, id_):
        while True:
            message = await self.receive()
            if message is not None and message.get("id") == id_:
                return message

    async def call(self, method, params=None):
        return await self.answer(await self.send(method, params))

    async def event(self, predicate):
        while True:
            for event in self.events:
                if predicate(event):
                    self.events.remove(event)
                    return event
            await self.receive()


def error_code(answer):
    return answer.get("error", {}).get("code")


def request(method, path, body=None, headers=None, source="127.0.0.1"):
    connection = http.client.HTTPConnection(HOST, PORT, timeout=TIMEOUT, source_address=(source, 0))
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    data = response.read()
    connection.close()
    return response.status, json.loads(data) if data else None


def bearer(secret_token=None):
    return {"Authorization": "Bearer " + (secret_token or token)}


def run(coroutine, seconds=90):
    return asyncio.run(asyncio.wait_for(coroutine, seconds))


async def names(client):
    state = (await client.call("state"))["result"]
    return [e["name"] for e in state["encoders"]], [d["name"] for d in state["decoders"]]


class WebSocketApi(unittest.TestCase):
    def test_challenge(self):
        async def body():
            client = await Client.connect(authenticate=False)
            hello = client.hello["params"]
            self.assertEqual(client.hello["method"], "hello")
            self.assertEqual(hello["protocol"], 1)
            self.assertIn("route", hello["methods"])
            # Nothing but the handshake before it is done.
            self.assertEqual(error_code(await client.call("state")), 5)
            # A second connection gets a challenge of its own, so an answer cannot be replayed.
            other = await Client.connect(authenticate=False)
            self.assertNotEqual(other.hello["params"]["challenge"], hello["challenge"])
            self.assertEqual(error_code(await other.call("auth", {"response": answer_for(client.hello, token)})), 5)
            with self.assertRaises(websockets.ConnectionClosed):
                await other.ws.recv()
            # The right answer over the right challenge opens the session.
            self.assertEqual((await client.call("auth", {"response": answer_for(client.hello, token)}))["result"],
                             {"authenticated": True})
            self.assertIn("decoders", (await client.call("state"))["result"])
            await client.ws.close()
        run(body())

    def test_route_seen_by_second_client(self):
        async def body():
            router, watcher = await Client.connect(), await Client.connect()
            self.assertEqual((await watcher.call("subscribe"))["result"], {"subscribed": True})
            encoders, decoders = await names(router)
            answer = await router.call("route", {"source": encoders[1], "target": decoders[0]})
            self.assertNotIn("error", answer)
            event = await watcher.event(lambda e: e["name"] == "source")
            self.assertIn(decoders[0], json.dumps(event["data"]))
            # A batch answers each call in order, with its own id.
            await router.ws.send(json.dumps([
                {"jsonrpc": "2.0", "id": "a", "method": "list", "params": {"kind": "walls"}},
                {"jsonrpc": "2.0", "method": "state"},
                {"jsonrpc": "2.0", "id": "b", "method": "no.such.method"}]))
            batch = await router.receive()
            self.assertEqual([a["id"] for a in batch], ["a", "b"])
            self.assertIn("result", batch[0])
            self.assertEqual(error_code(batch[1]), 1)
            # Not subscribed: the router sees answers, no events.
            await router.call("route", {"source": encoders[2], "target": decoders[0]})
            await watcher.event(lambda e: e["name"] == "source")
            self.assertEqual(router.events, [])
            await router.ws.close()
            await watcher.ws.close()
        run(body())

    def test_refusals(self):
        async def body():
            for origin, allowed in ((f"http://evil.example:{PORT}", False), (f"http://{HOST}:{PORT + 1}", False),
                                    (f"https://{HOST}:{PORT}", False), (f"http://{HOST}:{PORT}", True),
                                    (f"http://localhost:{PORT}", True)):
                try:
                    client = await Client.connect(authenticate=False, origin=origin)
                    await client.ws.close()
                    self.assertTrue(allowed, origin)
                except websockets.InvalidStatusCode as refused:
                    self.assertFalse(allowed, origin)
                    self.assertEqual(refused.status_code, 403)
            client = await Client.connect(max_size=None)
            await client.ws.send("x" * (64 * 1024 + 1))
            self.assertEqual(error_code(await client.receive()), 7)
            await client.ws.send("{not json")
            self.assertEqual(error_code(await client.receive()), -32700)
            await client.ws.send(b"\x01\x02")
            self.assertEqual(error_code(await client.receive()), 2)
            # Too fast: the commands past the second's allowance are refused, the rest answered.
            await asyncio.sleep(1.1)
            ids = [await client.send("list", {"kind": "walls"}) for _ in range(RATE + 10)]
            codes = [error_code(await client.answer(id_)) for id_ in ids]
            self.assertGreaterEqual(codes.count(6), 10)
            self.assertEqual(codes[:RATE].count(None), RATE)
            # ...and the session goes on once the second is over.
            await asyncio.sleep(1.1)
            self.assertNotIn("error", await client.call("list", {"kind": "walls"}))
            await client.ws.close()
        run(body())

    def test_client_limit(self):
        async def body():
            await asyncio.sleep(0.5)  # the other tests' clients are gone
            clients = [await Client.connect(authenticate=False) for _ in range(MAX_CLIENTS)]
            with self.assertRaises(websockets.InvalidStatusCode) as refused:
                await Client.connect(authenticate=False)
            self.assertEqual(refused.exception.status_code, 503)
            await clients.pop().ws.close()
            await asyncio.sleep(0.3)
            clients.append(await Client.connect(authenticate=False))
            for client in clients:
                await client.ws.close()
        run(body())

    def test_slow_client_dropped(self):
        async def body():
            # A client that stops reading, with a small window so that the server's queue
            # for it fills quickly; the other client goes on routing and seeing events. The
            # slow one sends no pings: unanswered, they would make it close by itself.
            sock = socket.create_connection((HOST, PORT))
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            slow = await Client.connect(sock=sock, max_queue=1, read_limit=1024, ping_interval=None)
            await slow.call("subscribe")
            router = await Client.connect()
            await router.call("subscribe")
            encoders, _ = await names(router)
            round_done = asyncio.Event()
            async def flood():
                # A burst of requests each time the router's round has come back: the server
                # has then taken the bursts before, so however slowly it works they never
                # pile up unhandled (past a bound it would drop the client for that instead).
                # A send may still wait for room; the routing goes on without it, and its
                # events fill the slow client's queue too.
                try:
                    while True:
                        for _ in range(RATE // 2):
                            await slow.send("state")
                        await round_done.wait()
                        round_done.clear()
                except websockets.ConnectionClosed:
                    pass
            flooding = asyncio.ensure_future(flood())
            # Every round adds the route's events to the slow client's queue whatever the
            # flood does, so the queue's bound is passed within a known number of rounds.
            dropped = False
            for round_ in range(1, 2000):
                answer = await router.call("route", {"source": encoders[round_ % 5], "target": "all"})
                self.assertNotIn("error", answer)
                await router.event(lambda e: e["name"] == "source")
                round_done.set()
                if "dropped WebSocket client" in host_log():
                    dropped = True
                    break
                # Below the router's own command rate.
                await asyncio.sleep(0.05)
            flooding.cancel()
            self.assertTrue(dropped, "the slow client was never dropped")
            # The other client keeps its events.
            await router.call("route", {"source": encoders[7], "target": "all"})
            await router.event(lambda e: e["name"] == "source" and encoders[7] in json.dumps(e["data"]))
            # The slow one, reading again, finds its connection closed.
            with self.assertRaises(websockets.ConnectionClosed):
                while True:
                    await asyncio.wait_for(slow.ws.recv(), 40)
            await router.ws.close()
        # A slow machine takes many rounds; each is bounded, and so is their number.
        run(body(), 240)


class HttpApi(unittest.TestCase):
    def test_token(self):
        self.assertEqual(request("GET", "/api/state")[0], 401)
        self.assertEqual(request("GET", "/api/state", headers=bearer("wrong"))[0], 401)
        status, state = request("GET", "/api/state", headers=bearer())
        self.assertEqual(status, 200)
        self.assertIn("decoders", state)
        self.assertEqual(request("POST", "/api/command", body='{"method":"state"}')[0], 401)

    def test_command(self):
        state = request("GET", "/api/state", headers=bearer())[1]
        source, target = state["encoders"][3]["name"], state["decoders"][1]["name"]
        call = {"jsonrpc": "2.0", "id": 7, "method": "route", "params": {"source": source, "target": target}}
        status, answer = request("POST", "/api/command", json.dumps(call), bearer())
        self.assertEqual((status, answer.get("id"), "error" in answer), (200, 7, False))
        # The change is there for the next reader.
        after = request("GET", "/api/state", headers=bearer())[1]
        self.assertIn(source, json.dumps([d for d in after["decoders"] if d["name"] == target]))
        self.assertEqual(error_code(request("POST", "/api/command", "{", bearer())[1]), -32700)
        self.assertEqual(request("POST", "/api/command", "x" * (64 * 1024 + 1), bearer())[0], 413)
        self.assertEqual(request("GET", "/api/command", headers=bearer())[0], 405)
        self.assertEqual(request("GET", "/no-such-page.html", headers=bearer())[0], 404)
        origin = dict(bearer(), Origin=f"http://evil.example:{PORT}")
        self.assertEqual(request("GET", "/api/state", headers=origin)[0], 403)

    def test_throttle_after_failures(self):
        # From an address of its own, so that the other tests are not made to wait.
        source = "127.0.0.2"
        codes = [request("GET", "/api/state", headers=bearer("wrong"), source=source)[0] for _ in range(6)]
        self.assertIn(429, codes)
        self.assertEqual(request("GET", "/api/state", headers=bearer(), source=source)[0], 429)
        self.assertEqual(request("GET", "/api/state", headers=bearer())[0], 200)


if __name__ == "__main__":
    start_host(sys.argv.pop(1))
    try:
        result = unittest.main(exit=False, verbosity=2).result
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
    if program.returncode not in (0, -15):
        print("the program ended with", program.returncode, host_log())
        sys.exit(1)
    sys.exit(0 if result.wasSuccessful() else 1)
