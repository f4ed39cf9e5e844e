#!/usr/bin/env python3
"""The headless agent's footprint: start-up time against nginx, and resident memory.

    bench/footprint.py [path/to/parvello] [starts]

Prints, for the agent started with --no-tray on a free loopback port with settings in a
throw-away folder:
  - start to first GET /status answer (median of `starts` starts, default 15), against nginx
    (one worker) started to its first answer in the same run, alternating, and their ratio;
  - resident memory at idle, a second after the first answer;
  - resident memory after 50 POST /print jobs of one 1,500,000-byte label each to a loopback
    sink printer in a process of its own, a second after the last answer.
Each figure is shown with its goal. The binary defaults to build/bench/parvello/parvello.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from agent_support import free_port, job_body, post, start_sink

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LABEL_BYTES = 1_500_000
JOBS = 50
IDLE_GOAL_MB = 8
JOBS_GOAL_MB = 32
START_RATIO_GOAL = 0.6
START_LIMIT_S = 10


def answer(port, request):
    """The whole answer to one request, or None while nothing listens."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=START_LIMIT_S) as sock:
            sock.sendall(request)
            chunks = []
            while chunk := sock.recv(65536):
                chunks.append(chunk)
            return b"".join(chunks)
    except (ConnectionRefusedError, ConnectionResetError):
        return None


STATUS = b"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"


def start_to_first_answer(command, port, env=None):
    """Starts `command` and asks GET /status until it answers 200; returns the process and the
    seconds from just before the start to that answer."""
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        reply = answer(port, STATUS)
        if reply is not None:
            if not reply.startswith(b"HTTP/1.1 200"):
                sys.exit(f"{command[0]}: GET /status answered {reply[:80]!r}")
            return process, time.perf_counter() - start
        if process.poll() is not None or time.perf_counter() - start > START_LIMIT_S:
            sys.exit(f"{command[0]} did not start")
        time.sleep(0.0002)


def stop(process):
    process.terminate()
    process.wait()


def nginx_command(sandbox, port):
    conf = os.path.join(sandbox, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off;
worker_processes 1;
pid {sandbox}/nginx.pid;
error_log {sandbox}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log off;
    client_body_temp_path {sandbox}/body;
    proxy_temp_path {sandbox}/proxy;
    fastcgi_temp_path {sandbox}/fastcgi;
    uwsgi_temp_path {sandbox}/uwsgi;
    scgi_temp_path {sandbox}/scgi;
    server {{
        listen 127.0.0.1:{port};
        location = /status {{ default_type application/json; return 200 '{{}}'; }}
    }}
}}
""")
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    return [nginx, "-p", sandbox, "-c", conf, "-e", f"{sandbox}/error.log"]


def resident_mb(pid):
    """VmRSS in MB of 1,000,000 bytes (the stricter reading of the goals)."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024 / 1e6
    raise RuntimeError("no VmRSS")


def verdict(ok):
    return "meets the goal" if ok else "MISSES the goal"


def main():
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                             os.path.join(ROOT, "build/bench/parvello/parvello"))
    starts = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    if not os.access(binary, os.X_OK):
        sys.exit(f"no agent binary at {binary} (make bench)")
    sandbox = tempfile.mkdtemp()
    env = dict(os.environ, XDG_CONFIG_HOME=f"{sandbox}/config", XDG_DATA_HOME=f"{sandbox}/data",
               NO_COLOR="1")
    for name in ("PARVELLO_PORT", "PARVELLO_LOG"):
        env.pop(name, None)
    try:
        agent_times, nginx_times = [], []
        for _ in range(starts):
            port = free_port()
            process, seconds = start_to_first_answer(nginx_command(sandbox, port), port)
            stop(process)
            nginx_times.append(seconds)
            port = free_port()
            process, seconds = start_to_first_answer([binary, "--no-tray", "--port", str(port)], port, env)
            stop(process)
            agent_times.append(seconds)
        agent_ms = statistics.median(agent_times) * 1000
        nginx_ms = statistics.median(nginx_times) * 1000
        ratio = agent_ms / nginx_ms
        print(f"start to first GET /status answer, median of {starts}: agent {agent_ms:.1f} ms, "
              f"nginx {nginx_ms:.1f} ms, ratio {ratio:.2f}x (goal <= {START_RATIO_GOAL}x: {verdict(ratio <= START_RATIO_GOAL)})")

        printer, printer_port = start_sink()

        port = free_port()
        agent, _ = start_to_first_answer([binary, "--no-tray", "--port", str(port)], port, env)
        try:
            time.sleep(1)
            idle = resident_mb(agent.pid)
            print(f"resident memory at idle: {idle:.1f} MB (goal <= {IDLE_GOAL_MB} MB: "
                  f"{verdict(idle <= IDLE_GOAL_MB)})")
            request = post(b"/print", job_body(printer_port, os.urandom(LABEL_BYTES)))
            for _ in range(JOBS):
                reply = answer(port, request)
                if reply is None or not reply.startswith(b"HTTP/1.1 200"):
                    sys.exit(f"POST /print failed: {(reply or b'no answer')[:300]!r}")
            time.sleep(1)
            after = resident_mb(agent.pid)
            print(f"resident memory after {JOBS} jobs of {LABEL_BYTES:,} bytes: {after:.1f} MB "
                  f"(goal <= {JOBS_GOAL_MB} MB: {verdict(after <= JOBS_GOAL_MB)})")
        finally:
            stop(agent)
            printer.terminate()
    finally:
        shutil.rmtree(sandbox, ignore_errors=True)


if __name__ == "__main__":
    main()
