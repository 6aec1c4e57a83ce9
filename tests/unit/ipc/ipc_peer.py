#!/usr/bin/python3
"""A bus peer written from the frame layout alone, sharing no code with the C++ IPC layer.

Every frame is one ZeroMQ message: int32 identifier, int32 origin (little-endian), payload.

  ipc_peer.py client REQUESTS RESPONSES EVENTS
      Plays core-app (origin 6) against a pwr-manager server (origin 3).
  ipc_peer.py server REQUESTS RESPONSES EVENTS
      Plays the dsp-manager (origin 2) for a pwr-manager client (origin 12).

Prints what it received as hex and exits 0 when every frame was as expected.
"""

import struct
import sys
import time

import zmq

GET_DSP_STATUS = 1
GET_BATTERY_STATUS = 20
GET_INSTRUMENT_CONFIG = 21
EVENT_DSP_CONFIG_CHANGED = 51
EVENT_BATTERY_LOW = 56
EVENT_POWER_DOWN = 57
EVENT_INSTRUMENT_CONFIG_CHANGED = 60

SERVER_DSP_MANAGER = 2
SERVER_PWR_MANAGER = 3
CLIENT_CORE_APP = 6
CLIENT_PWR_MANAGER = 12

TIMEOUT_MS = 5000


def frame(message, origin, payload=b""):
    return struct.pack("<ii", message, origin) + payload


def receive(socket, what):
    if socket.poll(TIMEOUT_MS) == 0:
        fail("timed out waiting for " + what)
    return socket.recv()


def expect(actual, expected, what):
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
    sub.setsockopt(zmq.SUBSCRIBE, struct.pack("<i", EVENT_BATTERY_LOW))
    push = context.socket(zmq.PUSH)
    push.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
    push.connect(requests)

    # Too short to be a message: the server must drop it and still read what follows.
    push.send(b"\x14\x00\x00")
    push.send(frame(GET_BATTERY_STATUS, CLIENT_CORE_APP))
    record = struct.pack("<iiI", 1, -2, 0xA1B2C3D4)
    expect(receive(pull, "response"), frame(GET_BATTERY_STATUS, SERVER_PWR_MANAGER, record),
           "RESPONSE")

    expect(receive(sub, "event"), frame(EVENT_BATTERY_LOW, SERVER_PWR_MANAGER), "EVENT")
    # The server keeps publishing both events; only the subscribed one may come through.
    deadline = time.monotonic() + 0.2
    while time.monotonic() < deadline:
        if sub.poll(20):
            expect(sub.recv(), frame(EVENT_BATTERY_LOW, SERVER_PWR_MANAGER), "EVENT")
    push.send(frame(GET_DSP_STATUS, CLIENT_CORE_APP))


def play_server(context, requests, responses, events):
    pull = context.socket(zmq.PULL)
    pull.bind(requests)
    pub = context.socket(zmq.PUB)
    pub.bind(events)
    push = context.socket(zmq.PUSH)
    push.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
    push.bind(responses)

    expect(receive(pull, "request"), frame(GET_INSTRUMENT_CONFIG, CLIENT_PWR_MANAGER),
           "REQUEST")
    push.send(frame(GET_INSTRUMENT_CONFIG, SERVER_DSP_MANAGER, bytes.fromhex("deadbeef")))
    # Publish until the client acknowledges the event with a request of its own.
    deadline = time.monotonic() + TIMEOUT_MS / 1000
    while True:
        if time.monotonic() > deadline:
            fail("no acknowledgement of the event")
        pub.send(frame(EVENT_DSP_CONFIG_CHANGED, SERVER_DSP_MANAGER, b"\x02"))
        pub.send(frame(EVENT_INSTRUMENT_CONFIG_CHANGED, SERVER_DSP_MANAGER, b"\x01"))
        if pull.poll(20):
            expect(pull.recv(), frame(GET_DSP_STATUS, CLIENT_PWR_MANAGER), "ACK")
            return


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("client", "server"):
        fail("usage: ipc_peer.py client|server REQUESTS RESPONSES EVENTS")
    context = zmq.Context()
    role = play_client if sys.argv[1] == "client" else play_server
    role(context, *sys.argv[2:5])
    print("OK", flush=True)
    context.destroy(linger=0)


if __name__ == "__main__":
    main()
