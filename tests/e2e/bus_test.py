# The daemon on the real endpoints, on a low battery: its events byte for byte, the answers on
# each response channel, a client that never reads its answers and a flood of malformed frames,
# through which the periodic check keeps its period; then the start-up of a second instance, the
# version record and the end on SIGINT. Run inside scripts/sandbox: bus_test.py <pwr-manager>
#
# Requests publish battery events of their own: only the periodic check follows its battery event
# with a low-battery event (at 15 %, above the default shutdown threshold of 10 %).

import signal
import struct
import subprocess
import time

import zmq

from quarn_e2e import BATTERY_EVENT, BATTERY_LOW, GET_BATTERY, HEADER, ORIGINS, RESPONSES, Daemon, DaemonTest, check_period, ctl, run_tests

# By hand from the record layout: event 59 from the pwr-manager server (3); present, not
# externalPower; "Discharging" in 32 bytes; 2 bytes padding; capacity 15; "Battery" in 32 bytes;
# current_now -300000, voltage 4000000, temperature 250; chargeState 1 (discharging).
DISCHARGING_AT_15 = bytes.fromhex(
    "3b000000" "03000000" "01" "00" "446973636861726769 6e67" + "00" * 21 + "0000" "0f000000"
    "42617474657279" + "00" * 25 + "206cfbff" "00093d00" "fa000000" "01000000"
)
BATTERY_LOW_FRAME = bytes.fromhex("38000000" "03000000")  # 56, no payload
VERSION_FILE = "/var/lib/quarn/versions/pwr-manager.info"


def flood_frame(index):
    # Frames shorter than the header, identifiers outside the list, and now and then a battery
    # request from a client that has no response channel.
    if index % 500 == 499:
        return HEADER.pack(GET_BATTERY, (7, 0, 99, -1)[index // 500 % 4])
    position = index % 13
    if position < 8:
        return HEADER.pack(GET_BATTERY, ORIGINS["core-app"])[:position]
    message, origin, size = ((67, 6, 0), (68, 6, 0), (-1, 6, 0), (0x7FFFFFFF, 6, 4), (1000, 10, 100))[position - 8]
    return struct.pack("<ii", message, origin) + b"\xa5" * size


class BusTest(DaemonTest):
    def connect_core_app(self):
        # A reader of the core-app answers, once the daemon's end has attached it; the bus's
        # context closes it at the end.
        sock = self.bus.context.socket(zmq.PULL)
        monitor = sock.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
        sock.connect(RESPONSES["core-app"])
        self.assertTrue(monitor.poll(10000), "no handshake with the daemon on the core-app channel")
        time.sleep(0.1)
        return sock

    def answer(self):
        mark = self.bus.mark()
        self.bus.request(GET_BATTERY, "com-manager-remote")
        return self.bus.wait_frame(30, "an answer", mark, source="com-manager-remote")

    def test_events_answers_and_faults_on_the_real_endpoints(self):
        ctl("external-power", "off")
        ctl("set", "capacity", "15")
        self.start(responses=("com-manager-remote",))
        check = self.bus.wait_frame(6, "the first check", msg=BATTERY_EVENT)
        self.assertEqual([DISCHARGING_AT_15, BATTERY_LOW_FRAME], [f.raw for f in self.bus.wait_frames(2, 2, "", check.seq)])
        # 20 from the pwr-manager server (3), on each client's channel; that the request's own
        # reading is published as well is pinned in process.
        response = self.answer()
        self.assertEqual(bytes.fromhex("14000000" "03000000") + DISCHARGING_AT_15[8:], response.raw)

        # First nobody on the core-app channel, then a client connected that never reads: its
        # queue fills and the answers beyond are dropped.
        for count in (1000, 3000):
            stuck = self.connect_core_app() if count == 3000 else None
            for _ in range(count):
                self.bus.request(GET_BATTERY)
        # The flood, spread over several periods so that the checks are measured under the load.
        started = time.monotonic()
        for first in range(0, 100000, 1000):
            for index in range(first, first + 1000):
                self.bus.request(0, frame=flood_frame(index))
            time.sleep(max(0, started + 6.0 * (first + 1000) / 100000 - time.monotonic()))
        # Requests are handled in arrival order: the answer to the last means all were handled.
        answer = self.answer()
        self.bus.wait_frames(2, 6, "two periodic checks after the faults", answer.seq, msg=BATTERY_LOW)
        frames = self.bus.since(check.seq)
        periodic = [a for a, b in zip(frames, frames[1:]) if (a.msg, b.msg) == (BATTERY_EVENT, BATTERY_LOW)]
        check_period([f.mono for f in periodic], "periodic battery events")
        # One reading for each battery request, answered or not (200 of the flood's).
        self.assertEqual(1 + 4000 + 200 + 1, len(self.bus.since(check.seq, msg=BATTERY_EVENT)) - len(periodic))
        queued = 0
        while stuck.poll(0):
            stuck.recv()
            queued += 1
        self.assertTrue(0 < queued < 3000, "%d of 3000 answers queued: the queue never filled" % queued)
        # Once the stuck client is gone, a new one is answered.
        stuck.close(0)
        reader = self.connect_core_app()
        self.bus.request(GET_BATTERY)
        self.assertTrue(reader.poll(5000), "no answer on the core-app channel after the stuck client left")
        self.assertEqual(response.raw, reader.recv())

        for argument, first_line in (("--help", "usage: pwr-manager [THRESHOLD]"), ("--version", "Power Manager")):
            answer = subprocess.run([self.pwr_manager, argument], capture_output=True, text=True, timeout=10)
            self.assertEqual((0, first_line), (answer.returncode, answer.stdout.split("\n")[0]), argument)
        second = Daemon(self.pwr_manager)
        self.assertEqual(2, second.process.wait(10))
        second.console.close()
        self.assertEqual(
            ['Another pwr-manager is running (it holds "/run/pwr-manager.lock"); this one exits without touching the bus'],
            second.messages(),
        )
        self.assertEqual(96, len(self.answer().raw))
        self.assertEqual([], self.daemon.messages(r"Unexpected exception") + self.new_calls())
        # Four lines, each ending in a line feed: name, version, build date and commit.
        with open(VERSION_FILE) as f:
            self.assertRegex(f.read(), r"\APower Manager\nNABRIX_1\.2\n(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                             r"[ 123]\d \d{4} [0-2]\d:[0-5]\d:[0-5]\d\n[0-9a-f]{40}\n\Z")
        self.daemon.stop_cleanly(signal.SIGINT)


if __name__ == "__main__":
    run_tests("pwr_manager")
