#!/usr/bin/python3
"""A bus peer written from the frame layout alone, sharing no code with the C++ IPC layer.

Every frame is one ZeroMQ message: int32 identifier, int32 origin (little-endian), payload.
"client" plays the remote com-manager (10) against a pwr-manager (3); "server" plays the
dsp-manager (2) for a pwr-manager client (12). Prints what it received as hex, then OK when all
was as expected.
Usage: ipc_peer.py client|server REQUESTS RESPONSES EVENTS
"""

import struct
import sys
import time

import zmq

TIMEOUT_MS = 5000


def frame(message, origin, payload=b""):
    return struct.pack("<ii", message, origin) + payload


def expect(socket, expected, what):
    if socket.poll(TIMEOUT_MS) == 0:
        fail("timed out waiting for " + what)
    actual = socket.recv()
    print(what, actual.hex(), flush=True)
    if actual != expected:
        fail("%s: expected %s" % (what, expected.hex()))


def fail(text):
    print("FAIL", text, flush=True)
    sys.exit(1)


def play_client(context, requests, responses, events):
    pull = context.socket(zmq.PULL)
    pull.connect(responses)
    sub = context.socket(zmq.SUB)
    sub.connect(events)
    sub.setsockopt(zmq.SUBSCRIBE, struct.pack("<i", 56))  # battery low
    push = context.socket(zmq.PUSH)
    push.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
    push.connect(requests)

    # Too short to be a message: the server must drop it and still read what follows.
    push.send(b"\x14\x00\x00")
    push.send(frame(20, 10))  # get battery status
    record = struct.pack("<iiI", 1, -2, 0xA1B2C3D4)
    expect(pull, frame(20, 3, record), "RESPONSE")
    # The server publishes power-down (57) too; only the subscribed event may come through.
    expect(sub, frame(56, 3), "EVENT")
    push.send(frame(1, 10))  # get dsp status


def play_server(context, requests, responses, events):
    pull = context.socket(zmq.PULL)
    pull.bind(requests)
    pub = context.socket(zmq.PUB)
    pub.bind(events)
    push = context.socket(zmq.PUSH)
    push.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
    push.bind(responses)

    expect(pull, frame(21, 12), "REQUEST")  # get instrument config
    # Too short to be a message, as the short event below: the client must drop them.
    push.send(b"\x15\x00\x00\x00")
    push.send(frame(21, 2, bytes.fromhex("deadbeef")))
    # Publish dsp-config (51) and instrument-config (60) changes and a look-alike of the latter
    # until the client, subscribed to 60 only, acknowledges with a get dsp status (1).
    deadline = time.monotonic() + TIMEOUT_MS / 1000
    while not pull.poll(20):
        if time.monotonic() > deadline:
            fail("no acknowledgement of the event")
        pub.send(frame(51, 2, b"\x02"))
        pub.send(frame(60, 2, b"\x01"))
        pub.send(frame(60 + (1 << 24), 2, b"\x01"))  # shares only three bytes of the prefix
        pub.send(b"\x3c\x00\x00\x00\x02")
    expect(pull, frame(1, 12), "ACK")


def main():
    context = zmq.Context()
    role = play_client if sys.argv[1] == "client" else play_server
    role(context, *sys.argv[2:5])
    print("OK", flush=True)
    context.destroy(linger=0)


if __name__ == "__main__":
    main()
