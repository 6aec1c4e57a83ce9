#!/usr/bin/python3
"""A bus peer written from the frame layout alone, sharing no code with the C++ IPC layer.

Every frame is one ZeroMQ message: int32 identifier, int32 origin (little-endian), payload.
First it plays the remote com-manager (10) against a pwr-manager (3), then the dsp-manager (2)
for a pwr-manager client (12). Prints OK when all it received was as expected.
Usage: ipc_peer.py REQUESTS RESPONSES EVENTS DSP_REQUESTS DSP_RESPONSES DSP_EVENTS
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
        sys.exit("FAIL timed out waiting for " + what)
    actual = socket.recv()
    if actual != expected:
        sys.exit("FAIL %s: %s, expected %s" % (what, actual.hex(), expected.hex()))


def socket(context, kind, address, bind=False):
    result = context.socket(kind)
    result.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
    (result.bind if bind else result.connect)(address)
    return result


def play_client(context, requests, responses, events):
    pull = socket(context, zmq.PULL, responses)
    sub = socket(context, zmq.SUB, events)
    sub.setsockopt(zmq.SUBSCRIBE, struct.pack("<i", 56))  # battery low
    push = socket(context, zmq.PUSH, requests)
    # Too short to be a message: the server must drop it and still read what follows.
    push.send(b"\x14\x00\x00")
    push.send(frame(20, 10))  # get battery status
    expect(pull, frame(20, 3, struct.pack("<iiI", 1, -2, 0xA1B2C3D4)), "response")
    # The server publishes power-down (57) too; only the subscribed event may come through.
    expect(sub, frame(56, 3), "event")
    push.send(frame(1, 10))  # get dsp status


def play_server(context, requests, responses, events):
    pull = socket(context, zmq.PULL, requests, bind=True)
    pub = socket(context, zmq.PUB, events, bind=True)
    push = socket(context, zmq.PUSH, responses, bind=True)
    expect(pull, frame(21, 12), "request")  # get instrument config
    # Too short to be a message, as the short event below: the client must drop them.
    push.send(b"\x15\x00\x00\x00")
    push.send(frame(21, 2, bytes.fromhex("deadbeef")))
    # Publish dsp-config (51) and instrument-config (60) changes and a look-alike of the latter
    # until the client, subscribed to 60 only, acknowledges with a get dsp status (1).
    deadline = time.monotonic() + TIMEOUT_MS / 1000
    while not pull.poll(20):
        if time.monotonic() > deadline:
            sys.exit("FAIL no acknowledgement of the event")
        pub.send(frame(51, 2, b"\x02"))
        pub.send(frame(60, 2, b"\x01"))
        pub.send(frame(60 + (1 << 24), 2, b"\x01"))  # shares only three bytes of the prefix
        pub.send(b"\x3c\x00\x00\x00\x02")
    expect(pull, frame(1, 12), "acknowledgement")


context = zmq.Context()
play_client(context, *sys.argv[1:4])
play_server(context, *sys.argv[4:7])
print("OK", flush=True)
context.destroy(linger=0)
