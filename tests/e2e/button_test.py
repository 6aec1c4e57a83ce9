"""The power button pressed on the simulated board, and the power-down request, with quarn-bus
playing the dsp-manager whose logging session and instrument configuration the daemon mirrors.
Run inside scripts/sandbox: button_test.py <pwr-manager> <quarn-bus>"""

import sys
import unittest

from quarn_e2e import (
    BATTERY_EVENT, DO_POWER_DOWN, POWER_DOWN, POWER_DOWN_FRAME, PWM, WANT_POWER_DOWN, Bus, Daemon, DspManager,
    backlight_writes, ctl, reset_board, run_tests, shutdown_calls, wait_until,
)

DAEMON = sys.argv.pop(1)
QUARN_BUS = sys.argv.pop(1)

WANT_POWER_DOWN_FRAME = bytes.fromhex("3a000000" "03000000")  # 58 from the pwr-manager server (3)
SET_CONFIG = r"request: IPC_MSG_SET_INSTRUMENT_CONFIG \(22\) from \S+ \(\d+\), 916 bytes: powerButtonShutdown="
SHUTTING = r"^Shuting down the system \.\.\.$"


class ButtonTest(unittest.TestCase):
    def start(self, session, power_button_flag=0):
        reset_board()
        self.calls = len(shutdown_calls())
        self.dsp = DspManager(QUARN_BUS, session, power_button_flag)
        self.addCleanup(self.dsp.stop)
        self.bus = Bus(("core-app",))
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        # Both mirrors hold the dsp-manager's values before anything is pressed.
        for request in ("IPC_MSG_GET_LOGGING_SESSION_STATUS", "IPC_MSG_GET_INSTRUMENT_CONFIG"):
            self.daemon.wait_log(r"^Buffered data initialized by response %s\.$" % request, 5)
        return self.bus.mark()

    def press(self):
        """Held until the daemon accepts it, so that a slow confirmation still sees it down."""
        ctl("press")
        try:
            self.daemon.wait_log(r"^Power button was pressed!$", 3)
        finally:
            ctl("release")

    def wait_shutdown(self):
        wait_until(lambda: shutdown_calls()[self.calls :], 3, "the shutdown command")
        self.assertEqual(["/sbin/shutdown -h"], shutdown_calls()[self.calls :])

    def test_press_without_session_sends_the_flag_and_shuts_down(self):
        mark = self.start("idle")
        # Released before the 50 ms confirmation: rejected.
        ctl("click", "20")
        self.daemon.wait_log(r"^Power button pressed, but signal rejected$", 3)
        self.press()
        self.dsp.wait_line(SET_CONFIG + "1$", 3)
        event = self.bus.wait_frame(3, "the power-down event", mark, msg=POWER_DOWN)
        self.assertEqual(POWER_DOWN_FRAME, event.raw)
        self.wait_shutdown()
        self.assertEqual([(PWM + "run", b"0\0", "ok")], backlight_writes())
        self.daemon.wait_log(SHUTTING, 2)
        self.assertEqual(
            ["Power button was pressed!", "Switching off the backlight ...", "Shuting down the system ..."],
            self.daemon.messages(r"pressed!|backlight|Shuting|Waiting|Sending power down"),
        )
        self.assertEqual([], self.bus.since(mark, msg=WANT_POWER_DOWN))
        self.assertEqual(1, self.daemon.stop())

    def test_press_with_running_session_only_asks_core_app(self):
        mark = self.start("active")
        self.press()
        event = self.bus.wait_frame(3, "want-power-down", mark, msg=WANT_POWER_DOWN)
        self.assertEqual(WANT_POWER_DOWN_FRAME, event.raw)
        self.daemon.wait_log(r"^Sending power down request to core-app because there is an active session\.$", 2)
        # Nothing more comes of it, up to the next battery check.
        self.bus.wait_battery(3, "the next battery check", event.seq)
        self.assertEqual([WANT_POWER_DOWN], [f.msg for f in self.bus.since(mark) if f.msg != BATTERY_EVENT])
        self.assertEqual([], self.dsp.matching(SET_CONFIG) + shutdown_calls()[self.calls :] + backlight_writes())
        self.assertEqual(1, self.daemon.stop())

    def test_power_down_request_waits_for_a_running_session_until_it_stops(self):
        mark = self.start("active", 1)
        self.bus.request(DO_POWER_DOWN)
        self.daemon.wait_log(r"^Waiting for the session to stop, #2$", 3)
        self.dsp.control("session done")
        shutting = self.daemon.wait_log(SHUTTING, 3)[0]
        self.bus.wait_frame(2, "the power-down event", mark, msg=POWER_DOWN)
        self.wait_shutdown()
        # One wait line each 250 ms, numbered from 1; the stop ends the wait at the next step.
        waits = [line for line in self.daemon.log() if line.message.startswith("Waiting for the session")]
        self.assertEqual(list(range(1, len(waits) + 1)), [int(line.message.split("#")[1]) for line in waits])
        self.assertLess(len(waits), 9, "the stopped session did not end the wait")
        for earlier, later in zip(waits, waits[1:] + [shutting]):
            self.assertGreaterEqual(later.seconds - earlier.seconds, 0.245)
            self.assertLess(later.seconds - earlier.seconds, 0.5)
        # A power-down request has no answer and sends no configuration.
        self.assertEqual([], self.bus.since(mark, source="core-app"))
        self.assertEqual([], self.dsp.matching(SET_CONFIG))
        self.assertEqual(1, self.daemon.stop())


if __name__ == "__main__":
    run_tests()
