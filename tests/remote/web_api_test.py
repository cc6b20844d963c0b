#!/usr/bin/env python3
"""web_api_test.py PROGRAM: the control API's HTTP and WebSocket side, as clients see it.

Runs the program as the headless service over the demo installation (run it under
scripts/netless: loopback is then all there is) and talks to it with a real WebSocket
client and plain HTTP, at the limits the program ships with.
"""
import asyncio
import base64
import contextlib
import hashlib
import hmac
import http.client
import json
import os
import re
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

import websockets

HOST = "127.0.0.1"
PORT = 7741
LINE_PORT = 7740
RATE = 50
MAX_CLIENTS = 64
# What the program queues for a client that does not read before it drops it.
MAX_QUEUED_BYTES = 1024 * 1024
TIMEOUT = 10
WS_UPGRADE = (b"GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
POST = b"POST /api/command HTTP/1.1\r\nHost: x\r\n"

program = None
program_path = None
token = None
home = None


def small_socket_buffers():
    """Lets a client that stops reading fill the server's side quickly, but only in a
    network namespace with nothing but loopback (scripts/netless), never the machine's."""
    try:
        if [name for _, name in socket.if_nameindex()] == ["lo"]:
            with open("/proc/sys/net/ipv4/tcp_wmem", "w") as setting:
                setting.write("4096 16384 65536")
    except OSError:
        pass


def service_home(prefix, api):
    """A home for a controller, its API settings as given; the folder and environment."""
    folder = tempfile.mkdtemp(prefix=prefix)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    os.mkdir(os.path.join(folder, ".zentrova"))
    with open(os.path.join(folder, ".zentrova", "config.json"), "w") as config:
        json.dump({"api": api}, config)
    return folder, dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen")


def printed(env, option):
    return subprocess.run([program_path, option], env=env, capture_output=True, text=True, timeout=30).stdout.strip()


def launch(env, port):
    """The service over the demo installation, once it listens on port."""
    started = subprocess.Popen([program_path, "--headless", "--demo", "--api"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        try:
            socket.create_connection((HOST, port), timeout=1).close()
            return started
        except OSError:
            time.sleep(0.1)
    raise RuntimeError(f"the program does not listen on port {port}")


def host_log(folder=None):
    with open(os.path.join(folder or home, ".zentrova", "zentrova.log"), errors="replace") as log:
        return log.read()


def proof_with(client_key, hello, nonce, signing_key=None):
    """The sign-in proof over the greeting's challenge, made with a client key (and signed
    with the key the server keeps, unless another is given)."""
    params = hello["params"]
    message = f'{params["salt"]},{params["challenge"]},{nonce}'.encode()
    signature = hmac.new(signing_key or hashlib.sha256(client_key).digest(), message, "sha256").digest()
    return base64.b64encode(bytes(a ^ b for a, b in zip(client_key, signature))).decode(), message


def answer_for(hello, secret_token, nonce="client-nonce-1"):
    """The auth parameters a client with this token sends, and the server signature it expects."""
    key = base64.b64encode(hashlib.sha256((secret_token + hello["params"]["salt"]).encode()).digest())
    proof, message = proof_with(hmac.new(key, b"Client Key", "sha256").digest(), hello, nonce)
    server = hmac.new(hmac.new(key, b"Server Key", "sha256").digest(), message, "sha256").digest()
    return {"nonce": nonce, "proof": proof}, base64.b64encode(server).decode()


def stored_values():
    with open(os.path.join(home, ".zentrova", "config.json")) as config:
        return json.load(config)["api"]


class Client:
    """One WebSocket client with numbered requests; events are kept apart from answers."""

    def __init__(self, ws):
        self.ws = ws
        self.next_id = 0
        self.events = []
        self.event_bytes = 0
        self.hello = None

    @classmethod
    async def connect(cls, authenticate=True, secret=None, url=f"ws://{HOST}:{PORT}/ws", **kwargs):
        client = cls(await websockets.connect(url, open_timeout=TIMEOUT, **kwargs))
        client.hello = json.loads(await asyncio.wait_for(client.ws.recv(), TIMEOUT))
        if authenticate:
            params, server = answer_for(client.hello, secret or token)
            answer = await client.call("auth", params)
            assert answer.get("result", {}).get("authenticated") is True, answer
            # The controller shows it holds the token's keys; the ticket is the session's own.
            assert answer["result"]["server"] == server, answer
            client.ticket = answer["result"]["ticket"]
            client.user = answer["result"]["user"]
        return client

    async def send(self, method, params=None):
        self.next_id += 1
        message = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            message["params"] = params
        await self.ws.send(json.dumps(message))
        return self.next_id

    async def receive(self):
        raw = await asyncio.wait_for(self.ws.recv(), TIMEOUT)
        message = json.loads(raw)
        if isinstance(message, dict) and message.get("method") == "event":
            self.events.append(message["params"])
            self.event_bytes += len(raw)
            return None
        return message

    async def answer(self, id_):
        while True:
            message = await self.receive()
            if message is not None and message.get("id") == id_:
                return message

    async def call(self, method, params=None):
        return await self.answer(await self.send(method, params))

    async def sign_in_error(self, secret, hello=None):
        """The error code of a sign-in with secret over hello's challenge (by default its own)."""
        return error_code(await self.call("auth", answer_for(hello or self.hello, secret)[0]))

    async def event(self, predicate):
        while True:
            for event in self.events:
                if predicate(event):
                    self.events.remove(event)
                    return event
            await self.receive()

    async def until_closed(self, seconds=TIMEOUT):
        """The answers that came before the server closed the connection."""
        answers = []
        try:
            while True:
                answers.append(json.loads(await asyncio.wait_for(self.ws.recv(), seconds)))
        except websockets.ConnectionClosed:
            return answers


def error_code(answer):
    return answer.get("error", {}).get("code")


def request(method, path, body=None, headers=None, source="127.0.0.1"):
    """The status and the body, read as JSON where it is."""
    connection = http.client.HTTPConnection(HOST, PORT, timeout=TIMEOUT, source_address=(source, 0))
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    data = response.read()
    connection.close()
    try:
        return response.status, json.loads(data) if data else None
    except ValueError:
        return response.status, data


def bearer(secret_token=None):
    return {"Authorization": "Bearer " + (secret_token or token)}


def connection(data=b"", source="127.0.0.1", port=PORT):
    """A raw connection that has sent data."""
    sock = socket.create_connection((HOST, port), timeout=TIMEOUT, source_address=(source, 0))
    sock.sendall(data)
    return sock


def line_answer(text):
    """The line port's answer to a sign-in with text."""
    with connection(f"auth {text}\n".encode(), port=LINE_PORT) as line:
        return line.makefile().readline().strip()


def closed_by_server(sock, limit):
    """True when the server ends the connection within limit seconds."""
    sock.settimeout(limit)
    try:
        while sock.recv(65536):
            pass
        return True
    except socket.timeout:
        return False
    except OSError:
        return True


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read())[1])


def websocket_handshake(sock):
    sock.sendall(WS_UPGRADE)
    answer = b""
    while b"\r\n\r\n" not in answer:
        answer += sock.recv(4096)
    assert answer.startswith(b"HTTP/1.1 101"), answer
    return answer.split(b"\r\n\r\n", 1)[1]


def stream_until_closed(sock, chunk, seconds):
    """Sends chunk after chunk for at most seconds; the bytes sent before the server ended it,
    infinitely many while it has not."""
    sent = 0
    deadline = time.monotonic() + seconds
    sock.settimeout(1)
    while time.monotonic() < deadline:
        try:
            sock.sendall(chunk)
            sent += len(chunk)
        except socket.timeout:
            continue
        except OSError:
            return sent
        time.sleep(0.01)
    return float("inf")


def read_to_end(sock, seconds=TIMEOUT):
    data = b""
    sock.settimeout(seconds)
    try:
        while more := sock.recv(65536):
            data += more
    except OSError:
        pass
    return data


async def status_comes(wanted, path, headers):
    """The status of GET path once it is wanted, or the last one after ten seconds of asking."""
    for _ in range(50):
        if (status := request("GET", path, headers=headers)[0]) == wanted:
            break
        await asyncio.sleep(0.2)
    return status


async def wait_for_sign_in():
    """A signed-in client, once a place has come free."""
    for _ in range(100):
        with contextlib.suppress(websockets.InvalidStatusCode, websockets.ConnectionClosed):
            client = await Client.connect(authenticate=False)
            if await client.sign_in_error(token) is None:
                return client
            await client.ws.close()
        await asyncio.sleep(0.1)
    raise AssertionError("no place came free")


def run(coroutine, seconds=90):
    return asyncio.run(asyncio.wait_for(coroutine, seconds))


async def names(client):
    state = (await client.call("state"))["result"]
    return [e["name"] for e in state["encoders"]], [d["name"] for d in state["decoders"]]


class WebSocketApi(unittest.TestCase):
    def test_sign_in(self):
        async def body():
            client = await Client.connect(authenticate=False)
            hello = client.hello["params"]
            self.assertEqual((client.hello["method"], hello["protocol"]), ("hello", 2))
            self.assertIn("route", hello["methods"])
            # Nothing but the handshake before it is done, not even what asks for no user's rights.
            for method in ("state", "subscribe"):
                self.assertEqual(error_code(await client.call(method)), 5, method)
            # A second connection gets a challenge of its own, so an answer cannot be replayed.
            other = await Client.connect(authenticate=False)
            self.assertNotEqual(other.hello["params"]["challenge"], hello["challenge"])
            self.assertEqual(await other.sign_in_error(token, client.hello), 5)
            self.assertEqual(len(await other.until_closed()), 0)
            # A client of the first protocol is told to update.
            old = await Client.connect(authenticate=False)
            answer = await old.call("auth", {"response": "x"})
            self.assertEqual(error_code(answer), 5)
            self.assertIn("update the client", answer["error"]["message"])
            # The right proof over the right challenge opens the session.
            params, server = answer_for(client.hello, token)
            result = (await client.call("auth", params))["result"]
            self.assertEqual((result["authenticated"], result["server"]), (True, server))
            self.assertIn("decoders", (await client.call("state"))["result"])
            await client.ws.close()
            # What is stored cannot sign in: each stored key taken for the client key, also
            # signed with itself as the server signs, and each stored text taken for the token.
            stored = stored_values()
            self.assertNotIn(token, json.dumps(stored))
            for key in [base64.b64decode(stored[name]) for name in ("token_stored_key", "token_server_key")]:
                for signing_key in (None, key):
                    client = await Client.connect(authenticate=False)
                    proof, _ = proof_with(key, client.hello, "n", signing_key)
                    self.assertEqual(error_code(await client.call("auth", {"nonce": "n", "proof": proof})), 5)
            for text in [stored[name] for name in ("token_stored_key", "token_server_key", "token_salt")]:
                client = await Client.connect(authenticate=False)
                self.assertEqual(await client.sign_in_error(text), 5)
                self.assertEqual(request("GET", "/api/state", headers=bearer(text))[0], 401)
                self.assertTrue(line_answer(text).startswith("error not_authenticated"))
            self.assertEqual(line_answer(token), "ok")
        run(body())

    def test_routes_rights_and_tickets(self):
        async def body():
            router, watcher = await Client.connect(), await Client.connect()
            self.assertEqual(router.user["role"], "admin")
            self.assertEqual((await watcher.call("subscribe"))["result"], {"subscribed": True})
            encoders, decoders = await names(router)
            self.assertNotIn("error", await router.call("route", {"source": encoders[1], "target": decoders[0]}))
            event = await watcher.event(lambda e: e["name"] == "source")
            self.assertIn(decoders[0], json.dumps(event["data"]))
            # A batch answers each call in order, with its own id.
            await router.ws.send(json.dumps([
                {"jsonrpc": "2.0", "id": "a", "method": "list", "params": {"kind": "walls"}},
                {"jsonrpc": "2.0", "method": "state"}, {"jsonrpc": "2.0", "id": "b", "method": "no.such.method"}]))
            batch = await router.receive()
            self.assertEqual([a["id"] for a in batch], ["a", "b"])
            self.assertEqual(("result" in batch[0], error_code(batch[1])), (True, 1))
            # Not subscribed: the router sees answers, no events.
            await router.call("route", {"source": encoders[2], "target": decoders[0]})
            await watcher.event(lambda e: e["name"] == "source")
            self.assertEqual(router.events, [])
            # A user is held to the screens given, over HTTP with the credential as the bearer too.
            added = await router.call("users.add", {"name": "Hall", "role": "operator", "screens": [decoders[0]]})
            credential = added["result"]["credential"]
            self.assertNotIn(credential, json.dumps(stored_values()))
            hall = await Client.connect(secret=credential)
            self.assertEqual((hall.user["role"], hall.user["screens"]), ("operator", [decoders[0]]))
            self.assertNotIn("users.add", hall.user["methods"])
            self.assertNotIn("error", await hall.call("route", {"source": encoders[0], "target": decoders[0]}))
            self.assertEqual(error_code(await hall.call("route", {"source": encoders[0], "target": decoders[1]})), 10)
            self.assertEqual(error_code(await hall.call("users.list")), 10)
            clear = {"jsonrpc": "2.0", "id": 1, "method": "clear", "params": {"target": decoders[1]}}
            status, answer = request("POST", "/api/command", json.dumps(clear), bearer(credential))
            self.assertEqual((status, error_code(answer)), (200, 10))
            # Revoked, the open session ends at once, told why.
            self.assertNotIn("error", await router.call("users.revoke", {"name": "Hall"}))
            self.assertIn("revoked", json.dumps(await hall.until_closed()))
            self.assertEqual(request("GET", "/api/state", headers=bearer(credential))[0], 401)
            # Thumbnails go by the session's ticket, and it ends with the session.
            path, ticket = "/thumbnail/" + encoders[0], {"Authorization": "Ticket " + router.ticket}
            self.assertEqual(await status_comes(200, path, ticket), 200)
            forged = {"Authorization": "Ticket " + router.ticket[:-2] + "xx"}
            self.assertEqual(request("GET", path, headers=forged)[0], 401)
            # Guesses there count with the address's other failures: its next wrong sign-in waits.
            for _ in range(4):
                self.assertEqual(request("GET", path, headers=bearer("wrong"), source="127.0.5.1")[0], 401)
            guesser = await Client.connect(authenticate=False, local_addr=("127.0.5.1", 0))
            began = time.monotonic()
            self.assertEqual(await guesser.sign_in_error("wrong"), 5)
            self.assertGreaterEqual(time.monotonic() - began, 0.25)
            for client in (guesser, router, watcher):
                await client.ws.close()
            self.assertEqual(await status_comes(401, path, ticket), 401)
        run(body())

    def test_refusals(self):
        async def body():
            for origin, allowed in ((f"http://evil.example:{PORT}", False), (f"http://{HOST}:{PORT + 1}", False),
                                    (f"https://{HOST}:{PORT}", False), (f"http://{HOST}:{PORT}", True),
                                    (f"http://localhost:{PORT}", True)):
                try:
                    await (await Client.connect(authenticate=False, origin=origin)).ws.close()
                    self.assertTrue(allowed, origin)
                except websockets.InvalidStatusCode as refused:
                    self.assertEqual((allowed, refused.status_code), (False, 403), origin)
            client = await Client.connect(max_size=None)
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
            # A message over the limit ends the session, refused from its frame's header.
            await client.ws.send("x" * (64 * 1024 + 1))
            await client.until_closed()
            self.assertEqual(client.ws.close_code, 1009)
        run(body())

    def test_places(self):
        async def body():
            # One address fills its share of the waiting pool and gets no more...
            idle = [await Client.connect(authenticate=False, local_addr=("127.0.2.1", 0)) for _ in range(4)]
            with self.assertRaises(websockets.InvalidStatusCode) as refused:
                await Client.connect(authenticate=False, local_addr=("127.0.2.1", 0))
            self.assertEqual(refused.exception.status_code, 503)
            # ...while everyone else still gets in.
            client = await Client.connect()
            self.assertIn("decoders", (await client.call("state"))["result"])
            # Idle ones are told and cut off when their time is up, also one that never reads
            # nor answers anything after its handshake.
            silent = connection(WS_UPGRADE, source="127.0.2.2")
            told = await idle[0].until_closed(30)
            self.assertEqual((error_code(told[0]), told[0]["error"]["message"]), (5, "no sign-in within 10 seconds"))
            for waiting in idle[1:]:
                await waiting.until_closed(30)
            self.assertTrue(await asyncio.get_running_loop().run_in_executor(None, closed_by_server, silent, 30))
            silent.close()
            # The signed-in client was never asked to leave.
            self.assertNotIn("error", await client.call("list", {"kind": "walls"}))
            # Signed-in clients fill their places; one more is refused, told why.
            clients = [client] + [await Client.connect() for _ in range(MAX_CLIENTS - 1)]
            with self.assertRaises(websockets.InvalidStatusCode) as refused:
                await Client.connect(authenticate=False)
            self.assertEqual(refused.exception.status_code, 503)
            await clients.pop().ws.close()
            clients.append(await wait_for_sign_in())
            for client in clients:
                await client.ws.close()
        run(body())

    def test_wrong_tokens_keep_no_one_out(self):
        async def body():
            # Guessers and the right client share one address, as behind a NAT or a proxy.
            source, stop, refused = "127.0.3.1", asyncio.Event(), []

            async def guess():
                while not stop.is_set():
                    guesser = await Client.connect(authenticate=False, local_addr=(source, 0))
                    refused.append(await guesser.sign_in_error("wrong"))
                    await guesser.ws.close()

            async def guess_over_http():
                while not stop.is_set():
                    refused.append((await asyncio.get_running_loop().run_in_executor(
                        None, lambda: request("GET", "/api/state", headers=bearer("wrong"), source=source)))[0])

            flood = [asyncio.ensure_future(task()) for task in (guess, guess, guess_over_http)]
            for _ in range(5):
                await asyncio.sleep(0.5)
                await (await Client.connect(local_addr=(source, 0))).ws.close()
                self.assertEqual(request("GET", "/api/state", headers=bearer(), source=source)[0], 200)
            stop.set()
            await asyncio.gather(*flood)
            self.assertGreater(len(refused), 20)
            self.assertEqual(set(refused), {5, 401})
        run(body())

    def test_connection_flood_leaves_the_log(self):
        # Hundreds of connections and wrong tokens from one address add a line or two per kind
        # to the log, not one each: its earlier lines stay, however long the flood goes on.
        before = host_log()
        for index in range(600):
            connection(b"auth wrong\n" if index % 3 == 0 else b"", source="127.0.4.1", port=LINE_PORT).close()
        # Lines are written in the order the connections end: the next address's shows the
        # flood's have all been handled.
        connection(source="127.0.4.2", port=LINE_PORT).close()
        deadline = time.monotonic() + TIMEOUT
        while "127.0.4.2 gone" not in host_log() and time.monotonic() < deadline:
            time.sleep(0.1)
        after = host_log()
        self.assertTrue(after.startswith(before))
        flood_lines = [line for line in after[len(before):].splitlines() if "127.0.4.1" in line]
        self.assertLessEqual(len(flood_lines), 4, "\n".join(flood_lines[:10]))

    def test_slow_client_dropped(self):
        async def body():
            # A client that stops reading, with a small window so that the server's queue
            # for it fills quickly; the other client goes on routing and seeing events. The
            # slow one sends no pings: unanswered, they would make it close by itself.
            sock = socket.create_connection((HOST, PORT))
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            slow = await Client.connect(sock=sock, max_queue=1, read_limit=1024, ping_interval=None)
            router = await Client.connect()
            for client in (slow, router):
                await client.call("subscribe")
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
            # Every round's events go to the slow client's queue too, whatever the flood does
            # (the server may take its requests slowly, or not at all while it writes to it): once
            # the router has had more event bytes than that queue and the socket buffers between
            # can hold, the slow client must have been dropped.
            dropped, round_ = False, 0
            while not dropped and router.event_bytes < MAX_QUEUED_BYTES + 256 * 1024:
                round_ += 1
                self.assertNotIn("error", await router.call("route", {"source": encoders[round_ % 5], "target": "all"}))
                await router.event(lambda e: e["name"] == "source")
                round_done.set()
                dropped = "dropped WebSocket client" in host_log()
                # Below the router's own command rate.
                await asyncio.sleep(0.05)
            flooding.cancel()
            self.assertTrue(dropped, "the slow client was never dropped")
            # The other client keeps its events.
            await router.call("route", {"source": encoders[7], "target": "all"})
            await router.event(lambda e: e["name"] == "source" and encoders[7] in json.dumps(e["data"]))
            # The slow one, reading again, finds its connection closed.
            await slow.until_closed(40)
            await router.ws.close()
        # A slow machine takes many rounds; each is bounded, and so is their number.
        run(body(), 240)


class HttpApi(unittest.TestCase):
    def test_token_and_command(self):
        self.assertEqual(request("GET", "/api/state")[0], 401)
        self.assertEqual(request("GET", "/api/state", headers=bearer("wrong"))[0], 401)
        self.assertEqual(request("POST", "/api/command", body='{"method":"state"}')[0], 401)
        status, state = request("GET", "/api/state", headers=bearer())
        self.assertEqual(status, 200)
        source, target = state["encoders"][3]["name"], state["decoders"][1]["name"]
        call = {"jsonrpc": "2.0", "id": 7, "method": "route", "params": {"source": source, "target": target}}
        status, answer = request("POST", "/api/command", json.dumps(call), bearer())
        self.assertEqual((status, answer.get("id"), "error" in answer), (200, 7, False))
        # The change is there for the next reader.
        after = request("GET", "/api/state", headers=bearer())[1]
        self.assertIn(source, json.dumps([d for d in after["decoders"] if d["name"] == target]))
        self.assertEqual(error_code(request("POST", "/api/command", "{", bearer())[1]), -32700)
        self.assertEqual(request("GET", "/api/command", headers=bearer())[0], 405)
        self.assertEqual(request("GET", "/no-such-page.html", headers=bearer())[0], 404)
        evil = dict(bearer(), Origin=f"http://evil.example:{PORT}")
        self.assertEqual(request("GET", "/api/state", headers=evil)[0], 403)


class Attacks(unittest.TestCase):
    GIB = 1 << 30

    def test_memory_stays_bounded(self):
        before = resident_kib(program.pid)
        # A frame whose header declares 1 GiB, its payload streamed slowly: closed 1009 from the
        # header, and the controller does not grow while the stranger goes on sending.
        sock = connection()
        received = websocket_handshake(sock)
        sock.sendall(bytes([0x81, 0xFF]) + self.GIB.to_bytes(8, "big") + b"mask")
        self.assertLess(stream_until_closed(sock, b"x" * (256 << 10), 4), 64 << 20, "the connection stayed open")
        # What came back before the end: the greeting, then a close frame with code 1009.
        self.assertRegex(received + read_to_end(sock), rb"\x88[\x02-\x7d]\x03\xf1")
        sock.close()
        # A body of 1 GiB: without the token the answer is 401 from the head alone, and the body
        # is never taken in: the connection ends while the stranger is still sending. With it, 413.
        for headers, status in ((b"", b"401"), (b"Authorization: Bearer " + token.encode() + b"\r\n", b"413")):
            started = time.monotonic()
            with connection(POST + headers + b"Content-Length: " + str(self.GIB).encode() + b"\r\n\r\n") as sock:
                self.assertTrue(sock.recv(64).startswith(b"HTTP/1.1 " + status))
                self.assertLess(time.monotonic() - started, 2)
                self.assertLess(stream_until_closed(sock, b"x" * (256 << 10), 4), 32 << 20, "the body was taken in")
        # The page needs no token: a client that sends request after request for it and reads
        # none of the answers must not make the controller keep them all.
        with socket.create_connection((HOST, PORT), timeout=TIMEOUT) as sock:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            stream_until_closed(sock, b"GET / HTTP/1.1\r\nHost: x\r\n\r\n" * 2000, 4)
            growth = resident_kib(program.pid) - before
        self.assertLess(growth, 16 * 1024, f"grew {growth} KiB")

    def test_heads_read_two_ways_are_refused(self):
        # Heads that a proxy in front and the controller could read differently (where the
        # body ends, which field is which), or that are too large, are refused with the token.
        auth = b"Authorization: Bearer " + token.encode() + b"\r\n"
        for head, status in ((POST + auth + b"Content-Length: 2\r\nContent-Length: 40\r\n\r\n{}", b"400"),
                             (POST + auth + b"Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", b"411"),
                             (b"GET /api/state HTTP/1.1\r\nAuthorization : Bearer " + token.encode() + b"\r\n\r\n", b"400"),
                             (b"GET /api/state HTTP/1.1\r\nX: a\r\n " + auth + b"\r\n", b"400"),
                             (b"GET /api/state HTTP/1.1\r\n" + auth + b"X: " + b"a" * 9000 + b"\r\n\r\n", b"431")):
            with connection(head) as sock:
                answer = read_to_end(sock)
                self.assertTrue(answer.startswith(b"HTTP/1.1 " + status), (head[:60], answer[:60]))

    def test_slow_heads_are_cut_off(self):
        # A head sent a byte at a time is answered 408 and closed when its time is up; a kept
        # connection that sends nothing more is closed too; a real client is served meanwhile.
        slow = connection(b"GET /api/state HTTP/1.1\r\n", source="127.0.5.1")
        idle = connection(source="127.0.5.2")
        self.assertEqual(request("GET", "/api/state", headers=bearer())[0], 200)
        self.assertTrue(closed_by_server(idle, 20))
        answer = read_to_end(slow, 20)
        self.assertTrue(answer.startswith(b"HTTP/1.1 408"), answer)
        for sock in (slow, idle):
            sock.close()


def fingerprint_of(ssl_object):
    digest = hashlib.sha256(ssl_object.getpeercert(binary_form=True)).hexdigest().upper()
    return ":".join(digest[i:i + 2] for i in range(0, len(digest), 2))


class Tls(unittest.TestCase):
    """The controller as it ships: TLS on the web port and the line protocol's TLS port, with
    the certificate it makes for itself; clients pin the fingerprint --api-fingerprint prints.
    The line protocol's session over TLS, the key file's mode and the plain line port left shut
    are headless_line_api's."""
    WEB, LINE_TLS = PORT + 201, PORT + 202

    @classmethod
    def setUpClass(cls):
        cls.home, env = service_home("web-api-tls.", {"web_port": cls.WEB, "line_tls_port": cls.LINE_TLS})
        cls.token, cls.fingerprint = printed(env, "--new-api-token"), printed(env, "--api-fingerprint")
        cls.get_state = f"GET /api/state HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer {cls.token}\r\n\r\n".encode()
        cls.program = launch(env, cls.WEB)
        # Trusts the certificate alone, the address checked against its names.
        cls.trusted = ssl.create_default_context(cafile=os.path.join(cls.home, ".zentrova", "api-certificate.pem"))

    @classmethod
    def tearDownClass(cls):
        cls.program.terminate()
        cls.program.wait(10)

    def secure(self):
        return self.trusted.wrap_socket(socket.create_connection((HOST, self.WEB), timeout=TIMEOUT), server_hostname=HOST)

    def test_as_it_ships(self):
        # HTTPS on the web port, TLS 1.3 with a client that has it; then a session over WSS.
        with self.secure() as secure:
            self.assertEqual(secure.version(), "TLSv1.3")
            secure.sendall(self.get_state)
            response = http.client.HTTPResponse(secure)
            response.begin()
            self.assertEqual(response.status, 200)
            state = json.loads(response.read())
        encoder, decoder = [[e["name"] for e in state[kind]] for kind in ("encoders", "decoders")]

        async def body():
            client = await Client.connect(secret=self.token, url=f"wss://{HOST}:{self.WEB}/ws", ssl=self.trusted,
                                          origin=f"https://{HOST}:{self.WEB}")
            self.assertEqual(fingerprint_of(client.ws.transport.get_extra_info("ssl_object")), self.fingerprint)
            await client.call("subscribe")
            self.assertNotIn("error", await client.call("route", {"source": encoder[1], "target": decoder[0]}))
            await client.event(lambda e: e["name"] == "source")
            await client.ws.close()
        run(body())

    def test_orderly_close_ends_the_connection(self):
        # A client's close_notify says it will send nothing more: the controller ends the
        # connection then, not when its idle or sign-in time (10 s) runs out, which would keep
        # a place per departed client for that long.
        def ends_after_close_notify(secure):
            secure.settimeout(6)
            try:
                plain = secure.unwrap()
            except TimeoutError:
                return False
            except (ssl.SSLEOFError, ConnectionError):
                return True
            return closed_by_server(plain, 6)

        with self.secure() as secure:
            secure.sendall(self.get_state)
            self.assertTrue(secure.recv(4096).startswith(b"HTTP/1.1 200"))
            self.assertTrue(ends_after_close_notify(secure), "HTTP connection kept after close_notify")
        with self.secure() as secure:
            websocket_handshake(secure)
            self.assertTrue(ends_after_close_notify(secure), "WebSocket kept after close_notify")

    def test_sslscan(self):
        # sslscan brings an OpenSSL of its own that still speaks SSLv2 to TLS 1.1 and every
        # weak cipher, so what it finds accepted is what the controller offers.
        weak = ("NULL", "EXP", "RC4", "DES", "ADH", "AECDH", "anon", "MD5")
        for port in (self.WEB, self.LINE_TLS):
            scan = subprocess.run(["sslscan", "--no-colour", "--no-heartbleed", f"{HOST}:{port}"],
                                  capture_output=True, text=True, timeout=120).stdout
            protocols = dict(re.findall(r"^(SSLv[23]|TLSv1\.[0-3])\s+(enabled|disabled)$", scan, re.M))
            self.assertEqual(protocols, {"SSLv2": "disabled", "SSLv3": "disabled", "TLSv1.0": "disabled",
                                         "TLSv1.1": "disabled", "TLSv1.2": "enabled", "TLSv1.3": "enabled"},
                             f"port {port}:\n{scan}")
            ciphers = re.findall(r"^(?:Preferred|Accepted)\s+(\S+)\s+\d+ bits\s+(\S+)", scan, re.M)
            self.assertTrue(ciphers, scan)
            self.assertEqual({version for version, _ in ciphers}, {"TLSv1.2", "TLSv1.3"})
            self.assertEqual([name for _, name in ciphers if any(w in name for w in weak)], [], scan)


class TlsThatCannotBeHad(unittest.TestCase):
    def test_service_stops_and_says_why(self):
        # A certificate that cannot be read, and a TLS port another program holds: the service
        # must not run its plain ports alone, as if all were well.
        pem = os.path.join(tempfile.mkdtemp(prefix="web-api-tls."), "controller.pem")
        with open(pem, "w") as certificate:
            certificate.write("-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n")
        with socket.create_server((HOST, PORT + 102)):
            for settings, said in (({"tls_cert": pem, "tls_key": pem}, "TLS cannot be had (No certificate can be read"),
                                   ({"line_tls_port": PORT + 102}, f"cannot listen on 0.0.0.0 port {PORT + 102}")):
                folder, env = service_home("web-api-tls.", dict(settings, enabled=True, line_port=PORT + 100,
                                                                web_port=PORT + 101))
                try:
                    finished = subprocess.run([program_path, "--headless", "--demo"], env=env, capture_output=True,
                                              text=True, timeout=30)
                except subprocess.TimeoutExpired:
                    self.fail(f"{settings}: the service went on running without the TLS it was asked for")
                self.assertEqual(finished.returncode, 3, finished.stderr)
                self.assertIn(said, finished.stderr)
                self.assertIn(said, host_log(folder))


if __name__ == "__main__":
    program_path = sys.argv.pop(1)
    small_socket_buffers()
    # The attacks on the web layer are made over the plain ports, asked for explicitly; the
    # Tls cases run against the ports as they ship.
    home, env = service_home("web-api-test.", {"web_tls": False, "plain_line": True})
    token = printed(env, "--new-api-token")
    program = launch(env, PORT)
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
