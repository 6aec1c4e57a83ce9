"""Faults around the daemon on the simulated board: no dsp-manager at all, and a fuel gauge that
disappears and comes back. Through each the battery events keep their period.
Run inside scripts/sandbox: faults_board_test.py <pwr-manager>"""

import sys
import unittest

from quarn_e2e import (
    MSG_EVENT_BATTERY_STATUS_CHANGED,
    MSG_EVENT_POWER_DOWN,
    PWM,
    Bus,
    Daemon,
    board_battery,
    check_period,
    ctl,
    reset_board,
    run_tests,
    shutdown_calls,
    timed_trace,
    wait_until,
)

DAEMON = sys.argv.pop(1)

# What a reading gives with no gauge at all: nothing could be read, so every field keeps its
# starting value and "present" failing counts as external power.
NO_GAUGE = {
    "present": 0,
    "externalPower": 1,
    "status": "",
    "capacity": 100,
    "type": "",
    "current_now": 0,
    "voltage": 0,
    "temperature": 0,
    "chargeState": 4,
}
# Five attempts for each number, one for each text.
ATTEMPTS = {
    ("present", "present"): 5,
    ("status", "status"): 1,
    ("capacity", "capacity"): 5,
    ("type", "type"): 1,
    ("current_now", "current_now"): 5,
    ("voltage", "voltage_now"): 5,
    ("temperature", "temp"): 5,
}


class FaultTest(unittest.TestCase):
    def setUp(self):
        reset_board()
        self.calls_before = len(shutdown_calls())
        self.bus = Bus(responses=())
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        self.first = self.bus.wait_battery(6, "the first battery event")

    def finish(self):
        """The whole run had only periodic readings: every interval is the period; nothing went
        wrong inside."""
        checks = self.bus.events(0, MSG_EVENT_BATTERY_STATUS_CHANGED)
        check_period([f.mono for f in checks], "battery events")
        self.assertTrue(self.daemon.alive())
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        self.assertEqual(1, self.daemon.stop())

    def test_without_dsp_manager_the_daemon_still_monitors_and_shuts_down(self):
        # The mirrors' requests go nowhere; they are sent again after 5 s.
        retry = r"^Buffer not yet initialized, retrying initialization request %s$"
        self.daemon.wait_log(retry % "IPC_MSG_GET_LOGGING_SESSION_STATUS", 8)
        self.daemon.wait_log(retry % "IPC_MSG_GET_INSTRUMENT_CONFIG", 2)

        # The button: the configuration for the missing dsp-manager cannot block the shutdown.
        mark = self.bus.mark()
        ctl("press")
        try:
            self.daemon.wait_log(r"^Power button was pressed!$", 3)
        finally:
            ctl("release")
        self.bus.wait_frame(3, "the power-down event after the press", mark, msg=MSG_EVENT_POWER_DOWN)
        wait_until(lambda: shutdown_calls(self.calls_before), 3, "the shutdown command after the press")

        # A very low battery: a shutdown on each check.
        ctl("external-power", "off")
        ctl("set", "capacity", "5")
        check = self.bus.wait_battery(5, "a check at 5 %", mark, lambda f: f.battery()["capacity"] == 5)
        following = self.bus.wait_frames(2, 2, "the power-down event", check.seq)[1]
        self.assertEqual(MSG_EVENT_POWER_DOWN, following.msg)
        self.daemon.wait_log(r"^Battery level is very low, below shutdown threshold \(10%\)!$", 3)
        wait_until(lambda: len(shutdown_calls(self.calls_before)) == 2, 3, "the shutdown of the check")
        self.assertIn((PWM + "run", b"0\0", "ok"), [entry[1:] for entry in timed_trace()])
        self.finish()

    def readings(self, count, what, mark):
        return self.bus.wait_frames(count, 5, what, mark, msg=MSG_EVENT_BATTERY_STATUS_CHANGED)

    def test_gauge_disappears_and_comes_back(self):
        # Changed just after a check, so that no reading straddles the change.
        before = self.bus.wait_battery(3, "a battery event", self.first.seq + 1)
        ctl("gauge", "absent")
        absent = self.readings(2, "two readings without the gauge", before.seq + 1)
        ctl("gauge", "present")
        for frame in absent:
            self.assertEqual(NO_GAUGE, frame.battery())

        board = board_battery()
        for frame in self.readings(2, "two readings with the gauge back", absent[-1].seq + 1):
            reading = frame.battery()
            derived = (reading["present"], reading["externalPower"], reading["chargeState"])
            self.assertEqual((1, 1, 0), derived)
            self.assertEqual(board["status"], reading["status"])
            self.assertEqual(int(board["capacity"]), reading["capacity"])

        # Every failed attempt logged one warning: 27 per reading without the gauge.
        checks = self.bus.events(0, MSG_EVENT_BATTERY_STATUS_CHANGED)
        without = len([f for f in checks if f.battery()["present"] == 0])
        self.assertEqual(2, without)
        expected = {key: attempts * without for key, attempts in ATTEMPTS.items()}

        def warnings():
            texts = [line.message for line in self.daemon.log("WARN", "power_manager_logger")]
            return {key: texts.count('Could not read value "%s" from file "%s"' % key) for key in ATTEMPTS}

        try:
            wait_until(lambda: warnings() == expected, 3, "27 warnings per reading without the gauge")
        except AssertionError:
            self.assertEqual(expected, warnings())
        self.assertEqual(27 * without, len(self.daemon.messages(r"^Could not read value ")))
        self.finish()


if __name__ == "__main__":
    run_tests()
