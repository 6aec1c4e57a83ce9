# The power button pressed on the simulated board, with quarn-bus playing the dsp-manager whose
# logging session and instrument configuration the daemon mirrors: a press during a session only
# asks core-app, one after it sends the flag and shuts down; the end on SIGTERM.
# Run inside scripts/sandbox: button_test.py <pwr-manager> <quarn-bus>

from quarn_e2e import (
    BATTERY_EVENT, POWER_DOWN, PWM, WANT_POWER_DOWN, DaemonTest, backlight_writes, ctl, run_tests,
)

SET_CONFIG = r"request: IPC_MSG_SET_INSTRUMENT_CONFIG \(22\) from \S+ \(\d+\), 916 bytes: powerButtonShutdown=1$"


class ButtonTest(DaemonTest):
    def test_press_during_a_session_asks_core_app_and_after_it_shuts_down(self):
        self.start(responses=("core-app",), session="active")
        # Released before the 50 ms confirmation: rejected.
        ctl("click", "20")
        self.daemon.wait_log(r"^Power button pressed, but signal rejected$", 3)
        self.press()
        event = self.bus.wait_frame(3, "want-power-down", msg=WANT_POWER_DOWN)
        self.assertEqual(bytes.fromhex("3a000000" "03000000"), event.raw)  # 58 from the pwr-manager server (3)
        # Nothing more comes of it, up to the next battery check.
        self.bus.wait_battery(3, "the next battery check", event.seq)
        self.assertEqual([], self.dsp.matching(SET_CONFIG) + self.new_calls() + backlight_writes())

        self.dsp.control("session done")
        self.daemon.wait_log(r"^LED flashing was stopped$", 3)
        self.press()
        self.dsp.wait_line(SET_CONFIG, 3)
        self.wait_shutdown()
        self.assertEqual([(PWM + "run", b"0\0", "ok")], backlight_writes())
        pressed = "Power button was pressed!"
        self.assertEqual(
            [pressed, "Sending power down request to core-app because there is an active session.", pressed,
             "Switching off the backlight ...", "Shuting down the system ..."],
            self.daemon.messages(r"pressed!|backlight|Shuting|Waiting|Sending power down"),
        )
        # Only the two events and the battery checks; no answer to anyone.
        self.assertEqual([WANT_POWER_DOWN, POWER_DOWN], [f.msg for f in self.bus.since() if f.msg != BATTERY_EVENT])
        self.assertEqual([], self.bus.since(source="core-app"))
        self.daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests("pwr_manager", "quarn_bus")
