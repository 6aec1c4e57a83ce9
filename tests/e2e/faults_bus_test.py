"""Faults on the bus: a client that asks for the battery state and never reads the answers, and a
flood of malformed and unknown frames. Through each the periodic battery check keeps its
period and the daemon goes on answering.
Run inside scripts/sandbox: faults_bus_test.py <pwr-manager>

The battery requests publish battery events of their own. To tell the periodic checks apart,
the board runs on a low battery: only the periodic check follows its battery event with
IPC_MSG_EVENT_BATTERY_LOW."""

import struct
import sys
import time
import unittest

import zmq

from quarn_e2e import (
    MSG_EVENT_BATTERY_LOW,
    MSG_EVENT_BATTERY_STATUS_CHANGED,
    MSG_GET_BATTERY_STATUS,
    ORIGINS,
    Bus,
    Daemon,
    check_period,
    connect_responses,
    ctl,
    periodic_battery_events,
    request_frame,
    reset_board,
    run_tests,
    shutdown_calls,
)

DAEMON = sys.argv.pop(1)

FLOOD_FRAMES = 100000
FLOOD_SECONDS = 6.0


def flood_frame(index):
    """Frames no request can be made of: shorter than the header, identifiers outside the list,
    and now and then a battery request from a client that has no response channel."""
    if index % 500 == 499:
        return request_frame(MSG_GET_BATTERY_STATUS, (7, 0, 99, -1)[index // 500 % 4])
    position = index % 13
    if position < 8:
        return request_frame(MSG_GET_BATTERY_STATUS, ORIGINS["core-app"])[:position]
    unknown = ((67, 6, 0), (68, 6, 0), (-1, 6, 0), (0x7FFFFFFF, 6, 4), (1000, 10, 100))
    message, origin, size = unknown[position - 8]
    return struct.pack("<ii", message, origin) + b"\xa5" * size


class BusFaultTest(unittest.TestCase):
    def setUp(self):
        reset_board()
        ctl("external-power", "off")
        ctl("set", "capacity", "15")
        self.calls_before = len(shutdown_calls())
        self.bus = Bus(responses=("com-manager-remote",))
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        # The check before the fault starts: the battery event right before its low event.
        self.start = self.bus.wait_frame(6, "the first low-battery event", msg=MSG_EVENT_BATTERY_LOW).seq - 1
        self.context = zmq.Context()
        self.addCleanup(self.context.term)
        self.sender = self.context.socket(zmq.PUSH)
        self.addCleanup(self.sender.close, 0)
        # Blocking sends, bounded: every frame reaches the daemon, however fast it drains.
        self.sender.setsockopt(zmq.SNDTIMEO, 10000)
        self.sender.connect("ipc:///tmp/quarn.requests.pwr-manager")

    def send(self, frame):
        try:
            self.sender.send(frame)
        except zmq.Again:
            self.fail("the daemon took no request frame for 10 s")

    def all_handled(self, timeout):
        """Requests are handled in arrival order: the answer to one sent last means every frame
        before it has been handled."""
        mark = self.bus.mark()
        self.send(request_frame(MSG_GET_BATTERY_STATUS, ORIGINS["com-manager-remote"]))
        what = "the answer to a request sent after the fault"
        return self.bus.wait_frame(timeout, what, mark, source="com-manager-remote")

    def check_periodic(self, what):
        """Waits for two more periodic checks after everything was handled, then measures every
        interval from the last check before the fault on."""
        after = self.bus.mark()
        self.bus.wait_frames(2, 6, "two periodic checks after " + what, after, msg=MSG_EVENT_BATTERY_LOW)
        periodic = periodic_battery_events(self.bus, self.start)
        self.assertEqual(self.start, periodic[0].seq)
        check_period([f.mono for f in periodic], "periodic battery events over " + what)
        return periodic

    def finish(self):
        self.assertTrue(self.daemon.alive())
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        self.assertEqual([], shutdown_calls(self.calls_before))
        self.assertEqual(1, self.daemon.stop())

    def test_client_that_never_reads_its_answers(self):
        # First nobody on the core-app channel at all, then a client connected that never reads:
        # its queue fills and the answers beyond are dropped.
        for _ in range(1000):
            self.send(request_frame(MSG_GET_BATTERY_STATUS, ORIGINS["core-app"]))
        stuck = connect_responses(self.context, "core-app")
        self.addCleanup(stuck.close, 0)
        started = time.monotonic()
        for _ in range(3000):
            self.send(request_frame(MSG_GET_BATTERY_STATUS, ORIGINS["core-app"]))
        # Others are still served while the stuck client's answers pile up.
        answer = self.all_handled(30)
        self.assertEqual(96, len(answer.raw))
        handled = time.monotonic() - started
        periodic = self.check_periodic("4000 unread battery requests (handled in %.1f s)" % handled)
        readings = len(self.bus.events(self.start, MSG_EVENT_BATTERY_STATUS_CHANGED)) - len(periodic)
        self.assertEqual(4001, readings, "one reading for each request")

        # The stuck client's queue did fill up: the daemon dropped answers rather than wait.
        queued = 0
        while stuck.poll(0):
            stuck.recv()
            queued += 1
        self.assertLess(queued, 3000, "every answer was queued: the queue never filled")
        self.assertGreater(queued, 0)

        # Once the stuck client is gone, a new one is answered.
        stuck.close(0)
        reader = connect_responses(self.context, "core-app")
        self.addCleanup(reader.close, 0)
        self.send(request_frame(MSG_GET_BATTERY_STATUS, ORIGINS["core-app"]))
        self.assertTrue(reader.poll(5000), "no answer on the core-app channel after the stuck client left")
        self.assertEqual(96, len(reader.recv()))
        self.finish()

    def test_flood_of_malformed_and_unknown_frames(self):
        started = time.monotonic()
        chunk = 1000
        for first in range(0, FLOOD_FRAMES, chunk):
            for index in range(first, first + chunk):
                self.send(flood_frame(index))
            # Spread over several periods, so that the checks are measured under the load.
            pause = started + FLOOD_SECONDS * (first + chunk) / FLOOD_FRAMES - time.monotonic()
            if pause > 0:
                time.sleep(pause)
        answer = self.all_handled(30)
        flood = time.monotonic() - started
        self.assertEqual(96, len(answer.raw))
        periodic = self.check_periodic("%d flood frames (sent and handled in %.1f s)" % (FLOOD_FRAMES, flood))
        # The battery requests among them each took a reading, though nobody could be answered.
        readings = len(self.bus.events(self.start, MSG_EVENT_BATTERY_STATUS_CHANGED)) - len(periodic)
        self.assertEqual(FLOOD_FRAMES // 500 + 1, readings)
        self.finish()


if __name__ == "__main__":
    run_tests()
