"""Battery events, battery requests and the low-battery warning of the daemon on the simulated
board. Run inside scripts/sandbox: battery_test.py <pwr-manager>"""

import sys
import time
import unittest

from quarn_e2e import (
    BATTERY_EVENT, BATTERY_LOW, GET_BATTERY, Bus, Daemon, check_period, ctl, on_battery_at, reset_board, run_tests,
    shutdown_calls,
)

DAEMON = sys.argv.pop(1)

# The board as it starts, by hand from the record layout: event 59 from the pwr-manager server
# (3); present, externalPower; "Charging" in 32 bytes; 2 bytes padding; capacity 80; "Battery"
# in 32 bytes; current_now 500000, voltage 4000000, temperature 250; chargeState 0 (charging).
CHARGING_AT_80 = bytes.fromhex(
    "3b000000" "03000000" "01" "01" "4368617267696e67" + "00" * 24 + "0000" "50000000"
    "42617474657279" + "00" * 25 + "20a10700" "00093d00" "fa000000" "00000000"
)
RESPONSE_HEADER = bytes.fromhex("14000000" "03000000")  # 20 from the pwr-manager server (3)
BATTERY_LOW_FRAME = bytes.fromhex("38000000" "03000000")  # 56, no payload


class BatteryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reset_board()
        cls.bus = Bus(("core-app", "com-manager-remote"))
        cls.daemon = Daemon(DAEMON)
        cls.bus.wait_connected()

    @classmethod
    def tearDownClass(cls):
        try:
            assert cls.daemon.stop() == 1, "exit code after SIGTERM"
        finally:
            cls.bus.close()

    def setUp(self):
        reset_board()

    def test_events_every_2000_ms_carry_what_the_gauge_serves(self):
        mark = self.bus.mark()
        # No change detection: the same board gives the same event again.
        same = self.bus.wait_frames(3, 8, "three readings at 80 %", mark, where=lambda f: f.raw == CHARGING_AT_80)
        ctl("set", "capacity", "42")
        self.bus.wait_battery(5, "a reading at 42 %", same[-1].seq, lambda f: f.battery().capacity == 42)
        # Only the periodic check publishes here, so every interval is the period.
        check_period([f.mono for f in self.bus.since(mark, msg=BATTERY_EVENT)], "battery events")

    def test_response_road_for_core_app_and_remote_com_manager(self):
        mark = self.bus.mark()
        for client in ("core-app", "com-manager-remote"):
            with self.subTest(client=client):
                self.bus.request(GET_BATTERY, client)
                response = self.bus.wait_frame(3, "the answer to " + client, mark, source=client)
                self.assertEqual(96, len(response.raw))
                self.assertEqual(RESPONSE_HEADER, response.raw[:8])
                # The request's own reading is published first, byte for byte the answer.
                events = [f for f in self.bus.since(mark, msg=BATTERY_EVENT) if f.seq < response.seq]
                self.assertEqual(response.payload, events[-1].payload)
                self.assertEqual(80, response.battery().capacity)
        time.sleep(0.3)
        self.assertEqual([1, 1], [len(self.bus.since(mark, source=c)) for c in ("core-app", "com-manager-remote")])

    def test_low_battery_events_at_15_percent_and_below_on_battery(self):
        ctl("external-power", "off")
        for capacity, low in ((16, False), (15, True), (10, True)):
            with self.subTest(capacity=capacity):
                ctl("set", "capacity", str(capacity))
                what = "a check at %d %%" % capacity
                check = self.bus.wait_battery(5, what, self.bus.mark(), on_battery_at(capacity))
                following = self.bus.wait_frames(2, 3, "the frame after the check", check.seq)[1]
                # Published right after the check's battery event, nothing in between.
                self.assertEqual(check.seq + 1, following.seq)
                if low:
                    self.assertEqual(BATTERY_LOW_FRAME, following.raw)
                else:
                    self.assertEqual(BATTERY_EVENT, following.msg)
        # One warning for the run of low checks; the default shutdown threshold (10 %) was not
        # crossed.
        self.assertGreaterEqual(len(self.bus.since(0, msg=BATTERY_LOW)), 2)
        self.daemon.wait_log(r"^Battery level is low! \(below 15%\)$", 3)
        self.assertEqual(1, len(self.daemon.messages(r"^Battery level is low!")))
        self.assertEqual([], shutdown_calls())


if __name__ == "__main__":
    run_tests()
