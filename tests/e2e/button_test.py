"""The power button pressed on the simulated board, and the power-down request, with quarn-bus
playing the dsp-manager whose logging session and instrument configuration the daemon mirrors.
Run inside scripts/sandbox: button_test.py <pwr-manager> <quarn-bus>"""

import sys
import unittest

from quarn_e2e import (
    MSG_DO_POWER_DOWN,
    MSG_EVENT_BATTERY_STATUS_CHANGED,
    MSG_EVENT_POWER_DOWN,
    MSG_EVENT_WANT_POWER_DOWN,
    PWM,
    Bus,
    Daemon,
    DspManager,
    ctl,
    reset_board,
    run_tests,
    shutdown_calls,
    timed_trace,
    wait_until,
)

DAEMON = sys.argv.pop(1)
QUARN_BUS = sys.argv.pop(1)

POWER_DOWN_FRAME = bytes.fromhex("39000000" "03000000")  # 57 from the pwr-manager server
WANT_POWER_DOWN_FRAME = bytes.fromhex("3a000000" "03000000")  # 58 from the pwr-manager server
SET_CONFIG_REQUEST = (
    r"request: IPC_MSG_SET_INSTRUMENT_CONFIG \(22\) from \S+ \(\d+\), 916 bytes: powerButtonShutdown=(\d)"
)
PRESSED = r"^Power button was pressed!$"
BACKLIGHT = r"^Switching off the backlight \.\.\.$"
SHUTTING = r"^Shuting down the system \.\.\.$"
WAITING = r"^Waiting for the session to stop, #(\d+)$"
SENDING = r"^Sending power down request to core-app because there is an active session\.$"


def backlight_writes():
    return [entry for entry in timed_trace() if entry[1].startswith(PWM)]


class ButtonTest(unittest.TestCase):
    def start(self, session, power_button_flag=0):
        reset_board()
        self.calls_before = len(shutdown_calls())
        self.dsp = DspManager(QUARN_BUS, session, power_button_flag)
        self.addCleanup(self.dsp.stop)
        self.bus = Bus(responses=("core-app",))
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        # Both mirrors hold the dsp-manager's values before anything is pressed.
        for request in ("IPC_MSG_GET_LOGGING_SESSION_STATUS", "IPC_MSG_GET_INSTRUMENT_CONFIG"):
            self.daemon.wait_log(r"^Buffered data initialized by response %s\.$" % request, 5)

    def press(self):
        """A press held until the daemon has accepted it, so that a slow confirmation still sees
        the button down."""
        count = len(self.daemon.messages(PRESSED))
        ctl("press")
        try:
            self.daemon.wait_log(PRESSED, 3, count + 1)
        finally:
            ctl("release")

    def stop_daemon(self):
        self.assertEqual(1, self.daemon.stop())

    def test_press_without_session_records_the_flag_and_shuts_down(self):
        self.start("idle")
        # Released before the 50 ms confirmation: rejected, nothing else happens.
        ctl("click", "20")
        self.daemon.wait_log(r"^Power button pressed, but signal rejected$", 3)
        self.assertEqual([], self.daemon.messages(PRESSED))

        mark = self.bus.mark()
        self.press()
        self.dsp.wait_line(SET_CONFIG_REQUEST, 3, "the configuration with the power-button flag")
        flags = [line.split("powerButtonShutdown=")[1] for line in self.dsp.matching(SET_CONFIG_REQUEST)]
        self.assertEqual(["1"], flags)
        event = self.bus.wait_frame(3, "the power-down event", mark, msg=MSG_EVENT_POWER_DOWN)
        self.assertEqual(POWER_DOWN_FRAME, event.raw)
        calls = wait_until(lambda: shutdown_calls(self.calls_before), 3, "the shutdown command")
        self.assertEqual(["/sbin/shutdown -h"], [call.split(" ", 1)[1] for call in calls])
        self.assertIn('run="0\\x00"', ctl("get", "backlight"))
        self.assertEqual([(PWM + "run", b"0\0", "ok")], [entry[1:] for entry in backlight_writes()])
        self.daemon.wait_log(SHUTTING, 2)
        self.assertEqual(
            ["Power button was pressed!", "Switching off the backlight ...", "Shuting down the system ..."],
            self.daemon.messages(r"pressed!|backlight|Shuting|Waiting|Sending power down"),
        )

        # One shutdown per press: the battery checks that follow (on external power) add none.
        check = self.bus.wait_battery(3, "a battery check after the press", event.seq)
        self.bus.wait_battery(3, "another battery check", check.seq + 1)
        self.assertEqual(1, len(shutdown_calls(self.calls_before)))
        self.assertEqual(1, len(self.bus.events(mark, MSG_EVENT_POWER_DOWN)))
        self.assertEqual([], self.bus.events(mark, MSG_EVENT_WANT_POWER_DOWN))
        self.assertEqual(1, len(self.dsp.matching(SET_CONFIG_REQUEST)))
        self.stop_daemon()

    def test_press_with_running_session_only_asks_core_app(self):
        self.start("active")
        self.daemon.wait_log(r"^LED flashing was activated$", 3)
        for presses, session in enumerate(("active", "pending"), 1):
            with self.subTest(session=session):
                if session == "pending":
                    # Through a stopped session, so that the mirror's change shows in the log.
                    self.dsp.control("session done")
                    self.daemon.wait_log(r"^LED flashing was stopped$", 3)
                    self.dsp.control("session pending")
                    self.daemon.wait_log(r"^LED flashing was activated$", 3, 2)
                mark = self.bus.mark()
                self.press()
                event = self.bus.wait_frame(3, "want-power-down", mark, msg=MSG_EVENT_WANT_POWER_DOWN)
                self.assertEqual(WANT_POWER_DOWN_FRAME, event.raw)
                self.daemon.wait_log(SENDING, 2, presses)
                # Nothing more comes of it, up to the next battery check.
                self.bus.wait_battery(3, "the next battery check", event.seq)
                others = [f.msg for f in self.bus.events(mark) if f.msg != MSG_EVENT_BATTERY_STATUS_CHANGED]
                self.assertEqual([MSG_EVENT_WANT_POWER_DOWN], others)
        self.assertEqual([], self.dsp.matching(SET_CONFIG_REQUEST))
        self.assertEqual([], shutdown_calls(self.calls_before))
        self.assertEqual([], backlight_writes())
        self.assertEqual([], self.daemon.messages(BACKLIGHT + "|" + SHUTTING))

        # A stopped session makes the press a shutdown again.
        self.dsp.control("session idle")
        self.daemon.wait_log(r"^LED flashing was stopped$", 3, 2)
        mark = self.bus.mark()
        self.press()
        self.bus.wait_frame(3, "the power-down event", mark, msg=MSG_EVENT_POWER_DOWN)
        wait_until(lambda: shutdown_calls(self.calls_before), 3, "the shutdown command")
        self.assertEqual([], self.bus.events(mark, MSG_EVENT_WANT_POWER_DOWN))
        self.stop_daemon()

    def wait_lines(self):
        return [line for line in self.daemon.log() if line.message.startswith("Waiting for the session")]

    def test_power_down_request_waits_for_a_running_session_until_it_stops(self):
        self.start("active", 1)
        mark = self.bus.mark()
        self.bus.request(MSG_DO_POWER_DOWN)
        self.daemon.wait_log(WAITING.replace(r"(\d+)", "2"), 3)
        self.dsp.control("session done")
        self.daemon.wait_log(SHUTTING, 3)
        self.bus.wait_frame(2, "the power-down event", mark, msg=MSG_EVENT_POWER_DOWN)

        waits = self.wait_lines()
        numbers = [int(line.message.split("#")[1]) for line in waits]
        self.assertEqual(list(range(1, len(numbers) + 1)), numbers)
        self.assertLess(len(numbers), 9, "the stopped session did not end the wait")
        self.assertGreaterEqual(len(numbers), 2)
        for earlier, later in zip(waits, waits[1:]):
            self.assertGreaterEqual(later.seconds - earlier.seconds, 0.245)
            self.assertLess(later.seconds - earlier.seconds, 0.5)
        shutting = [line for line in self.daemon.log() if line.message == "Shuting down the system ..."]
        self.assertEqual(1, len(shutting))
        # The stop ends the wait at the next step.
        self.assertLess(shutting[0].seconds - waits[-1].seconds, 0.5)
        self.assertEqual(1, len(self.daemon.messages(BACKLIGHT)))
        wait_until(lambda: shutdown_calls(self.calls_before), 3, "the shutdown command")
        self.assertEqual(1, len(shutdown_calls(self.calls_before)))
        self.assertEqual(1, len(self.bus.events(mark, MSG_EVENT_POWER_DOWN)))
        self.assertEqual([], self.bus.events(mark, MSG_EVENT_WANT_POWER_DOWN))
        # A power-down request has no answer and sends no configuration.
        self.assertEqual([], self.bus.since(mark, source="core-app"))
        self.assertEqual([], self.dsp.matching(SET_CONFIG_REQUEST))
        self.stop_daemon()

    def test_wait_for_a_session_that_never_stops_is_bounded(self):
        self.start("active", 1)
        mark = self.bus.mark()
        self.bus.request(MSG_DO_POWER_DOWN)
        self.daemon.wait_log(SHUTTING, 5)
        self.bus.wait_frame(2, "the power-down event", mark, msg=MSG_EVENT_POWER_DOWN)
        waits = self.wait_lines()
        self.assertEqual(list(range(1, 10)), [int(line.message.split("#")[1]) for line in waits])
        shutting = [line for line in self.daemon.log() if line.message == "Shuting down the system ..."][0]
        span = shutting.seconds - waits[0].seconds
        self.assertGreaterEqual(span, 9 * 0.25 - 0.01)
        self.assertLess(span, 9 * 0.25 + 1.0)
        wait_until(lambda: shutdown_calls(self.calls_before), 3, "the shutdown command")

        # The count stays at nine: a later request shuts down at once and leaves the backlight.
        writes = len(backlight_writes())
        self.bus.request(MSG_DO_POWER_DOWN)
        self.bus.wait_frames(2, 3, "the second power-down event", mark, msg=MSG_EVENT_POWER_DOWN)
        wait_until(lambda: len(shutdown_calls(self.calls_before)) == 2, 3, "the second shutdown command")
        self.daemon.wait_log(SHUTTING, 2, 2)
        self.assertEqual(9, len(self.wait_lines()))
        self.assertEqual(1, len(self.daemon.messages(BACKLIGHT)))
        self.assertEqual(writes, len(backlight_writes()))
        self.stop_daemon()


if __name__ == "__main__":
    run_tests()
