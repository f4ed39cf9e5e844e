"""What the agent benchmarks share: a free loopback port, the loopback sink printer and the
request of a print job to it."""
import base64
import multiprocessing
import socket


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sink(listener):
    """The loopback printer: reads every connection to its end, then closes it."""
    buffer = bytearray(1 << 20)
    while True:
        peer, _ = listener.accept()
        with peer:
            while peer.recv_into(buffer):
                pass


def start_sink():
    """The sink printer in a process of its own; returns the process and its port."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    process = multiprocessing.Process(target=sink, args=(listener,), daemon=True)
    process.start()
    port = listener.getsockname()[1]
    listener.close()
    return process, port


def job_body(printer_port, label):
    """A raw job of one label to the sink printer on `printer_port`."""
    return (b'{"protocol":"raw","handshake":"fire_and_forget","transport":{"type":"network",'
            b'"host":"127.0.0.1","port":' + str(printer_port).encode() +
            b'},"labels":[{"index":0,"data_base64":"' + base64.b64encode(label) + b'"}]}')


def post(path, body, keep_alive=False):
    return (b"POST " + path + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
            (b"" if keep_alive else b"Connection: close\r\n") +
            b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
