"""Faults on the bus: a client that asks for the battery state and never reads the answers, and a
flood of malformed and unknown frames. Through each the periodic battery check keeps its
period and the daemon goes on answering. Run inside scripts/sandbox: faults_bus_test.py
<pwr-manager>

The requests publish battery events of their own. To tell the periodic checks apart, the board
runs on a low battery: only the periodic check follows its battery event with a low event."""

import struct
import sys
import time
import unittest

import zmq

from quarn_e2e import (
    BATTERY_EVENT, BATTERY_LOW, GET_BATTERY, HEADER, ORIGINS, RESPONSES, Bus, Daemon, check_period, ctl, reset_board,
    run_tests, shutdown_calls,
)

DAEMON = sys.argv.pop(1)
FLOOD_FRAMES = 100000
FLOOD_SECONDS = 6.0


def flood_frame(index):
    """Frames shorter than the header, identifiers outside the list, and now and then a battery
    request from a client that has no response channel."""
    if index % 500 == 499:
        return HEADER.pack(GET_BATTERY, (7, 0, 99, -1)[index // 500 % 4])
    position = index % 13
    if position < 8:
        return HEADER.pack(GET_BATTERY, ORIGINS["core-app"])[:position]
    message, origin, size = ((67, 6, 0), (68, 6, 0), (-1, 6, 0), (0x7FFFFFFF, 6, 4), (1000, 10, 100))[position - 8]
    return struct.pack("<ii", message, origin) + b"\xa5" * size


class BusFaultTest(unittest.TestCase):
    def setUp(self):
        reset_board()
        ctl("external-power", "off")
        ctl("set", "capacity", "15")
        self.calls = len(shutdown_calls())
        self.bus = Bus(("com-manager-remote",))
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        # The check before the fault starts: the battery event right before its low event.
        self.start = self.bus.wait_frame(6, "the first low-battery event", msg=BATTERY_LOW).seq - 1

    def connect_core_app(self):
        """A reader of the core-app answers, once the daemon's end has attached it."""
        sock = self.bus.context.socket(zmq.PULL)
        self.addCleanup(sock.close, 0)
        monitor = sock.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
        sock.connect(RESPONSES["core-app"])
        self.assertTrue(monitor.poll(10000), "no handshake with the daemon on the core-app channel")
        sock.disable_monitor()
        monitor.close(0)
        time.sleep(0.1)
        return sock

    def check_after(self, what):
        """Requests are handled in arrival order: the answer to one sent last means all before it
        were handled. Then two more checks, and every period from the check before the fault on.
        Returns the number of readings that requests took."""
        mark = self.bus.mark()
        self.bus.send(HEADER.pack(GET_BATTERY, ORIGINS["com-manager-remote"]))
        answer = self.bus.wait_frame(30, "the answer to a request sent after " + what, mark, "com-manager-remote")
        self.assertEqual(96, len(answer.raw))
        self.bus.wait_frames(2, 6, "two periodic checks after " + what, answer.seq, msg=BATTERY_LOW)
        frames = self.bus.since(self.start)
        periodic = [a for a, b in zip(frames, frames[1:]) if (a.msg, b.msg) == (BATTERY_EVENT, BATTERY_LOW)]
        self.assertEqual(self.start, periodic[0].seq)
        check_period([f.mono for f in periodic], "periodic battery events over " + what)
        self.assertTrue(self.daemon.alive())
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        self.assertEqual([], shutdown_calls()[self.calls :])
        return len(self.bus.since(self.start, msg=BATTERY_EVENT)) - len(periodic)

    def test_client_that_never_reads_its_answers(self):
        # First nobody on the core-app channel, then a client connected that never reads: its
        # queue fills and the answers beyond are dropped.
        for _ in range(1000):
            self.bus.send(HEADER.pack(GET_BATTERY, ORIGINS["core-app"]))
        stuck = self.connect_core_app()
        for _ in range(3000):
            self.bus.send(HEADER.pack(GET_BATTERY, ORIGINS["core-app"]))
        self.assertEqual(4001, self.check_after("4000 unread battery requests"), "one reading for each request")
        queued = 0
        while stuck.poll(0):
            stuck.recv()
            queued += 1
        self.assertTrue(0 < queued < 3000, "%d of 3000 answers queued: the queue never filled" % queued)
        # Once the stuck client is gone, a new one is answered.
        stuck.close(0)
        reader = self.connect_core_app()
        self.bus.send(HEADER.pack(GET_BATTERY, ORIGINS["core-app"]))
        self.assertTrue(reader.poll(5000), "no answer on the core-app channel after the stuck client left")
        self.assertEqual(96, len(reader.recv()))
        self.assertEqual(1, self.daemon.stop())

    def test_flood_of_malformed_and_unknown_frames(self):
        started = time.monotonic()
        for first in range(0, FLOOD_FRAMES, 1000):
            for index in range(first, first + 1000):
                self.bus.send(flood_frame(index))
            # Spread over several periods, so that the checks are measured under the load.
            time.sleep(max(0, started + FLOOD_SECONDS * (first + 1000) / FLOOD_FRAMES - time.monotonic()))
        # The battery requests among them each took a reading, though nobody could be answered.
        self.assertEqual(FLOOD_FRAMES // 500 + 1, self.check_after("%d flood frames" % FLOOD_FRAMES))
        self.assertEqual(1, self.daemon.stop())


if __name__ == "__main__":
    run_tests()
