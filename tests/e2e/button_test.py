# The power button pressed on the simulated board, and the power-down request, with quarn-bus
# playing the dsp-manager whose logging session and instrument configuration the daemon mirrors:
# a press during a session only asks core-app; a power-down request waits for the session to
# stop; a press after it sends the flag. The end on SIGTERM.
# Run inside scripts/sandbox: button_test.py <pwr-manager> <quarn-bus>

from quarn_e2e import (
    BATTERY_EVENT, POWER_DOWN, PWM, WANT_POWER_DOWN, DaemonTest, backlight_writes, ctl, run_tests,
)

SET_CONFIG = r"request: IPC_MSG_SET_INSTRUMENT_CONFIG \(22\) from \S+ \(\d+\), 916 bytes: powerButtonShutdown=1$"
DO_POWER_DOWN = 43


class ButtonTest(DaemonTest):
    def test_press_during_a_session_asks_core_app_and_a_power_down_request_waits_for_its_end(self):
        self.start(responses=("core-app",), session="active", power_button_flag=1)
        # Released before the 50 ms confirmation: rejected.
        ctl("click", "20")
        self.daemon.wait_log(r"^Power button pressed, but signal rejected$", 3)
        self.press()
        event = self.bus.wait_frame(3, "want-power-down", msg=WANT_POWER_DOWN)
        self.assertEqual(bytes.fromhex("3a000000" "03000000"), event.raw)  # 58 from the pwr-manager server (3)
        # That nothing more comes of it (no flag sent, no shutdown) is pinned in process.

        self.bus.request(DO_POWER_DOWN)
        self.daemon.wait_log(r"^Waiting for the session to stop, #2$", 3)
        self.dsp.control("session done")
        # The steps of the wait (250 ms, numbered, ended by the stop) are pinned in process.
        self.daemon.wait_log(r"^Shuting down the system \.\.\.$", 3)
        self.wait_shutdown()
        self.assertEqual([(PWM + "run", b"0\0", "ok")], backlight_writes())
        # A press now, without a session, sends the flag; the shutdown is already under way.
        self.press()
        self.dsp.wait_line(SET_CONFIG, 3)
        self.daemon.wait_log(r"^Shutdown already requested, waiting for the system to go down$", 2)
        # Only the two events and the battery checks; no answer to anyone, one command. The
        # daemon's lines along each road are pinned in process.
        self.assertEqual([WANT_POWER_DOWN, POWER_DOWN], [f.msg for f in self.bus.since() if f.msg != BATTERY_EVENT])
        self.assertEqual([], self.bus.since(source="core-app"))
        self.assertEqual(["/sbin/shutdown -h"], self.new_calls())
        self.daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests("pwr_manager", "quarn_bus")
