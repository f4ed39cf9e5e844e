#!/usr/bin/env python3
"""The agent process under load: small-job latency, a large job against a raw push, memory.

    bench/agent_bench.py [path/to/parvello]

Starts the built agent headless on a free loopback port with settings in a throw-away folder
and a loopback sink printer in a process of its own, then prints:
  - small-job latency p50/p99 over POST /print and over GET /ws, in the same run;
  - POST /print of a 1,500,000-byte label against a raw push of the same request bytes to the
    sink, in the same run, and their ratio;
  - the agent's resident memory after start, after 100,000 GET /status and after 50 jobs of
    1,500,000 bytes (and once more after a short idle pause), before the timings above.
Every loop is bounded by a count. The binary defaults to build/bench/parvello/parvello.
"""
import base64
import os
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from agent_support import free_port, job_body, post, start_sink

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LABEL_BYTES = 1_500_000
SMALL_JOBS = 300
LARGE_JOBS = 20
STATUS_REQUESTS = 100_000
MEMORY_JOBS = 50


def read_to_end(sock):
    chunks = []
    while chunk := sock.recv(65536):
        chunks.append(chunk)
    return b"".join(chunks)


def exchange(port, request):
    with socket.create_connection(("127.0.0.1", port)) as sock:
        sock.sendall(request)
        answer = read_to_end(sock)
    if not answer.startswith(b"HTTP/1.1 200"):
        sys.exit("request failed: " + answer[:300].decode(errors="replace"))
    return answer


def raw_push(port, request):
    with socket.create_connection(("127.0.0.1", port)) as sock:
        sock.sendall(request)
        sock.shutdown(socket.SHUT_WR)
        read_to_end(sock)


class WebSocket:
    """A minimal client: text frames out (masked), whole unfragmented frames in."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16))
        self.sock.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + str(port).encode() +
                          b"\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key +
                          b"\r\nSec-WebSocket-Version: 13\r\n\r\n")
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.sock.recv(4096)
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if not head.startswith(b"HTTP/1.1 101"):
            sys.exit("upgrade refused: " + head.decode(errors="replace"))

    def send(self, text):
        mask = os.urandom(4)
        n = len(text)
        if n < 126:
            header = struct.pack("!BB", 0x81, 0x80 | n)
        elif n < 65536:
            header = struct.pack("!BBH", 0x81, 0x80 | 126, n)
        else:
            header = struct.pack("!BBQ", 0x81, 0x80 | 127, n)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(text))
        self.sock.sendall(header + mask + masked)

    def _need(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                sys.exit("WebSocket closed by the agent")
            self.buffer += chunk

    def receive(self):
        self._need(2)
        n = self.buffer[1] & 0x7F
        start = 2
        if n == 126:
            self._need(4)
            n, start = struct.unpack("!H", self.buffer[2:4])[0], 4
        elif n == 127:
            self._need(10)
            n, start = struct.unpack("!Q", self.buffer[2:10])[0], 10
        self._need(start + n)
        payload, self.buffer = self.buffer[start:start + n], self.buffer[start + n:]
        return payload

    def job(self, text):
        self.send(text)
        while True:
            event = self.receive()
            if b'"type":"done"' in event:
                return
            if b'"type":"error"' in event:
                sys.exit("job failed: " + event.decode(errors="replace"))


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def timed_ms(action, count):
    samples = []
    for _ in range(count):
        start = time.perf_counter()
        action()
        samples.append((time.perf_counter() - start) * 1000)
    return samples


def percentile(samples, p):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))]


def status_load(port, count):
    request = b"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
    with socket.create_connection(("127.0.0.1", port)) as sock:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for _ in range(count):
            sock.sendall(request)
            answer = b""
            while True:
                answer += sock.recv(4096)
                head, sep, body = answer.partition(b"\r\n\r\n")
                if sep:
                    length = int(head.lower().split(b"content-length:")[1].split(b"\r\n")[0])
                    if len(body) >= length:
                        break


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/bench/parvello/parvello")
    if not os.access(binary, os.X_OK):
        sys.exit(f"no agent binary at {binary} (make bench)")
    sandbox = tempfile.mkdtemp()
    printer, printer_port = start_sink()
    port = free_port()
    env = dict(os.environ, XDG_CONFIG_HOME=f"{sandbox}/config", XDG_DATA_HOME=f"{sandbox}/data",
               XDG_STATE_HOME=f"{sandbox}/state")
    log = open(f"{sandbox}/agent.log", "wb")
    agent = subprocess.Popen([binary, "--no-tray", "--port", str(port)], env=env, stderr=log)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), 0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        else:
            sys.exit("agent did not start")
        time.sleep(0.5)
        idle_kib = resident_kib(agent.pid)

        status_load(port, STATUS_REQUESTS)
        status_kib = resident_kib(agent.pid)
        label = bytes((i * 7 + i // 64) % 256 for i in range(LABEL_BYTES))
        large = post(b"/print", job_body(printer_port, label))
        for _ in range(MEMORY_JOBS):
            exchange(port, large)
        jobs_kib = resident_kib(agent.pid)
        time.sleep(2)
        print(f"resident memory: {idle_kib / 1024:.1f} MB after start, {status_kib / 1024:.1f} MB after "
              f"{STATUS_REQUESTS} GET /status, {jobs_kib / 1024:.1f} MB after {MEMORY_JOBS} jobs of "
              f"{LABEL_BYTES} bytes, {resident_kib(agent.pid) / 1024:.1f} MB 2 s later")

        small = job_body(printer_port, b"^XA^FDsmall label^FS^XZ")
        post_ms = timed_ms(lambda: exchange(port, post(b"/print", small)), SMALL_JOBS)
        ws = WebSocket(port)
        ws_ms = timed_ms(lambda: ws.job(small), SMALL_JOBS)
        ws.sock.close()
        print(f"small job, {SMALL_JOBS} each: POST /print p50 {percentile(post_ms, 50):.2f} ms "
              f"p99 {percentile(post_ms, 99):.2f} ms; GET /ws p50 {percentile(ws_ms, 50):.2f} ms "
              f"p99 {percentile(ws_ms, 99):.2f} ms; ws/post p50 ratio "
              f"{percentile(ws_ms, 50) / percentile(post_ms, 50):.2f}")

        agent_ms, raw_ms = [], []
        for _ in range(LARGE_JOBS):  # interleaved, so both see the same machine
            agent_ms += timed_ms(lambda: exchange(port, large), 1)
            raw_ms += timed_ms(lambda: raw_push(printer_port, large), 1)
        a, r = statistics.median(agent_ms), statistics.median(raw_ms)
        print(f"large job ({len(large)} request bytes), median of {LARGE_JOBS}: POST /print {a:.2f} ms, "
              f"raw push {r:.2f} ms, ratio {a / r:.1f}x")

    finally:
        agent.terminate()
        agent.wait()
        printer.terminate()
        shutil.rmtree(sandbox, ignore_errors=True)


if __name__ == "__main__":
    main()
