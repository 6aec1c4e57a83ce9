"""Battery events, battery requests and the low-battery warning of the daemon on the simulated
board. Run inside scripts/sandbox: battery_test.py <pwr-manager>"""

import sys
import time
import unittest

from quarn_e2e import (
    MSG_EVENT_BATTERY_LOW,
    MSG_EVENT_BATTERY_STATUS_CHANGED,
    MSG_GET_BATTERY_STATUS,
    Bus,
    Daemon,
    board_battery,
    check_period,
    ctl,
    request_frame,
    reset_board,
    run_tests,
    shutdown_calls,
    wait_until,
)

DAEMON = sys.argv.pop(1)

# The reading of the board as it starts (external power, charging at 500 mA, 80 %), worked out by
# hand from the record layout: present, externalPower, "Charging" in 32 bytes, 2 bytes padding,
# capacity 80, "Battery" in 32 bytes, current_now 500000, voltage 4000000, temperature 250,
# chargeState 0 (charging, outside the idle band).
CHARGING_AT_80 = bytes.fromhex(
    "01" "01"
    "4368617267696e67" + "00" * 24 + "0000"
    "50000000"
    "42617474657279" + "00" * 25 + "20a10700" "00093d00" "fa000000" "00000000"
)
EVENT_HEADER = bytes.fromhex("3b000000" "03000000")  # 59 from the pwr-manager server (3)
RESPONSE_HEADER = bytes.fromhex("14000000" "03000000")  # 20 from the pwr-manager server (3)
BATTERY_LOW_FRAME = bytes.fromhex("38000000" "03000000")  # 56, no payload
LOW_WARNING = r"^Battery level is low! \(below 15%\)$"


def served(present, external_power, charge_state):
    """The record the board's current attributes should give, with the three derived fields
    stated by the caller."""
    values = board_battery()
    return {
        "present": present,
        "externalPower": external_power,
        "status": values["status"],
        "capacity": int(values["capacity"]),
        "type": values["type"],
        "current_now": int(values["current_now"]),
        "voltage": int(values["voltage_now"]),
        "temperature": int(values["temp"]),
        "chargeState": charge_state,
    }


class BatteryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reset_board()
        cls.bus = Bus()
        cls.daemon = Daemon(DAEMON)
        cls.bus.wait_connected()
        cls.bus.wait_battery(6, "the first battery event")

    @classmethod
    def tearDownClass(cls):
        try:
            code = cls.daemon.stop()
        finally:
            cls.bus.close()
        assert code == 1, "the daemon ended with %s after SIGTERM" % code

    def setUp(self):
        reset_board()
        self.calls_before = len(shutdown_calls())

    def settle(self, what, where):
        """The first battery event that shows a board change; a check under way while the board
        changed may still show the old values."""
        return self.bus.wait_battery(5, what, self.bus.mark(), lambda f: where(f.battery()))

    def expect_reading(self, expected, what):
        """Waits for the battery event that carries exactly the expected record."""
        mark = self.bus.mark()
        try:
            frame = self.bus.wait_battery(5, what, mark, lambda f: f.battery() == expected)
        except AssertionError:
            seen = [f.battery() for f in self.bus.events(mark, MSG_EVENT_BATTERY_STATUS_CHANGED)]
            raise AssertionError("%s: expected %s, the daemon published %s" % (what, expected, seen))
        self.assertEqual(EVENT_HEADER, frame.raw[:8])
        self.assertEqual(96, len(frame.raw))
        return frame

    def test_events_every_2000_ms_carry_what_the_gauge_serves(self):
        starting = EVENT_HEADER + CHARGING_AT_80
        first = self.bus.wait_battery(5, "the first reading", self.bus.mark(), lambda f: f.raw == starting)
        mark = first.seq
        # No change detection: the same board gives the same event again.
        second = self.bus.wait_battery(3, "the next battery event", mark + 1)
        self.assertEqual(EVENT_HEADER + CHARGING_AT_80, second.raw)

        # On battery, discharging at 300 mA: outside the idle band.
        ctl("external-power", "off")
        ctl("set", "capacity", "42")
        self.expect_reading(served(1, 0, 1), "discharging at 42 %")

        # The lower end of the idle band (-100 mA .. +10 mA, both ends included).
        ctl("set", "current_now", "-100000")
        self.expect_reading(served(1, 0, 3), "idle at -100 mA")

        # "Full" at 100 % is full whatever the current; a current of 0 counts as external power.
        ctl("set", "status", "Full")
        ctl("set", "capacity", "100")
        ctl("set", "current_now", "0")
        self.expect_reading(served(1, 1, 2), "full at 100 %")

        # A status text none of the three known ones; then one of 40 characters, cut to 31.
        ctl("set", "status", "Not charging")
        self.expect_reading(served(1, 1, 4), "status 'Not charging'")
        ctl("set", "status", "S" * 40)
        frame = self.settle("the long status", lambda b: b["status"].startswith("SSS"))
        self.assertEqual(b"S" * 31 + b"\0", frame.payload[2:34])

        # No battery: present 0 reads as external power whatever the current.
        ctl("set", "present", "0")
        ctl("set", "status", "Discharging")
        ctl("set", "current_now", "-300000")
        self.expect_reading(served(0, 1, 1), "no battery present")

        # Only the periodic check publishes here, so every interval is the period.
        checks = self.bus.events(mark, MSG_EVENT_BATTERY_STATUS_CHANGED)
        check_period([f.mono for f in checks], "battery events")

    def test_response_road_for_core_app_and_remote_com_manager(self):
        for client, other in (("core-app", "com-manager-remote"), ("com-manager-remote", "core-app")):
            with self.subTest(client=client):
                mark = self.bus.mark()
                self.bus.request(MSG_GET_BATTERY_STATUS, client)
                response = self.bus.wait_frame(3, "the response to " + client, mark, source=client)
                self.assertEqual(96, len(response.raw))
                self.assertEqual(RESPONSE_HEADER, response.raw[:8])
                self.assertEqual(served(1, 1, 0), response.battery())
                # The request's own reading is published first, byte for byte the answer.
                events = self.bus.events(mark, MSG_EVENT_BATTERY_STATUS_CHANGED)
                events = [f for f in events if f.seq < response.seq]
                self.assertTrue(events, "no battery event before the response")
                self.assertEqual(response.payload, events[-1].payload)
                time.sleep(0.3)
                self.assertEqual([], self.bus.since(mark, source=other), "an answer went to " + other)
                self.assertEqual(1, len(self.bus.since(mark, source=client)))

    def test_requests_answered_in_order_and_others_ignored(self):
        mark = self.bus.mark()
        # Requests are handled one at a time in arrival order, so once the last one is answered
        # every one before it has been handled.
        self.bus.send(request_frame(1, 6))  # IPC_MSG_GET_DSP_STATUS: no answer
        self.bus.send(request_frame(MSG_GET_BATTERY_STATUS, 7))  # an origin without a response channel
        self.bus.send(request_frame(MSG_GET_BATTERY_STATUS, 6, b"\xa5" * 12))  # the payload is ignored
        self.bus.request(MSG_GET_BATTERY_STATUS, "com-manager-remote")
        self.bus.request(MSG_GET_BATTERY_STATUS, "core-app")
        last = self.bus.wait_frames(2, 3, "both core-app responses", mark, source="core-app")[-1]
        self.bus.wait_frame(3, "the com-manager response", mark, source="com-manager-remote")
        for frame in self.bus.since(mark, source="core-app"):
            self.assertEqual(96, len(frame.raw))
            self.assertEqual(RESPONSE_HEADER, frame.raw[:8])
        # One reading for each of the four battery requests, the one without a channel included.
        readings = [f for f in self.bus.events(mark, MSG_EVENT_BATTERY_STATUS_CHANGED) if f.seq < last.seq]
        self.assertGreaterEqual(len(readings), 4)
        self.assertLessEqual(len(readings), 5)  # a periodic check may fall in between
        time.sleep(0.3)
        self.assertEqual(2, len(self.bus.since(mark, source="core-app")))
        self.assertEqual(1, len(self.bus.since(mark, source="com-manager-remote")))
        self.assertTrue(self.daemon.alive())

    def test_low_battery_events_at_15_percent_and_below_on_battery(self):
        ctl("external-power", "off")
        for capacity, low in ((16, False), (15, True), (10, True)):
            with self.subTest(capacity=capacity):
                ctl("set", "capacity", str(capacity))
                # Discharging at 300 mA outside the idle band, the state the policy acts on.
                state = (capacity, 1)
                what = "a check at %d %%" % capacity
                check = self.settle(what, lambda b: (b["capacity"], b["chargeState"]) == state)
                following = self.bus.wait_frames(2, 3, "the frame after the check", check.seq)[1]
                if low:
                    # Published right after the check's battery event, nothing in between.
                    self.assertEqual(check.seq + 1, following.seq)
                    self.assertEqual(BATTERY_LOW_FRAME, following.raw)
                else:
                    self.assertEqual(MSG_EVENT_BATTERY_STATUS_CHANGED, following.msg)
        # One warning for each low event, and the default threshold (10 %) was not crossed.
        published = len(self.bus.events(0, MSG_EVENT_BATTERY_LOW))
        wait_until(
            lambda: len(self.daemon.messages(LOW_WARNING)) == published,
            3,
            "%d low-battery warnings in the log" % published,
        )
        self.assertEqual([], self.daemon.messages("very low"))
        self.assertEqual([], shutdown_calls(self.calls_before))

    def test_no_warning_on_external_power_or_while_charging(self):
        mark = self.bus.mark()
        ctl("set", "capacity", "5")
        self.settle("the reading at 5 % on external power", lambda b: b["capacity"] == 5)
        # Charging at a negative current: the battery feeds the instrument, but the state is
        # charging, which the policy leaves alone.
        ctl("set", "current_now", "-200000")
        self.settle("charging at -200 mA", lambda b: b["current_now"] == -200000 and b["externalPower"] == 0)
        self.bus.wait_battery(3, "one more check", self.bus.mark())
        self.assertEqual({MSG_EVENT_BATTERY_STATUS_CHANGED}, {f.msg for f in self.bus.events(mark)})
        self.assertEqual([], shutdown_calls(self.calls_before))


if __name__ == "__main__":
    run_tests()
