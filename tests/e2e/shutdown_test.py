# Shutdown on a very low battery: two low checks in a row, one command per shutdown, and a failed
# command run again at the next check; the end on SIGABRT.
# Run inside scripts/sandbox: shutdown_test.py <pwr-manager>

import signal

from quarn_e2e import (
    BATTERY_EVENT, POWER_DOWN, POWER_DOWN_FRAME, PWM, DaemonTest, backlight_writes, check_period, ctl, on_battery_at,
    run_tests, set_shutdown_status, wait_until,
)


class ShutdownTest(DaemonTest):
    def test_two_low_checks_shut_down_and_a_failed_command_runs_again_at_the_next_check(self):
        set_shutdown_status(1)
        self.addCleanup(set_shutdown_status, 0)
        ctl("external-power", "off")
        ctl("set", "capacity", "50")
        self.start("20")
        self.daemon.wait_log(r"^Auto-shutdown battery threshold level is 20%\.$", 5)
        # Each change lands just after a check, so that no reading straddles it; a reading that
        # is not a number counts as 0, and one low check alone shuts nothing down.
        check, checks = self.bus.wait_battery(6, "a check at 50 %", 0, on_battery_at(50)), []
        for text in ("abc", "50", "18", "18"):
            ctl("set", "capacity", text)
            check = self.bus.wait_battery(3, "a check after capacity " + text, check.seq + 1)
            checks.append(check)
        self.assertEqual([0, 50, 18, 18], [f.battery().capacity for f in checks])
        power_down = self.bus.wait_frames(2, 2, "the power-down event", checks[-1].seq)[1]
        self.assertEqual((checks[-1].seq + 1, POWER_DOWN_FRAME), (power_down.seq, power_down.raw))
        self.assertEqual([], self.bus.since(0, msg=POWER_DOWN)[:-1])
        # Failed, the command runs again at the next check; succeeded, the checks leave it alone.
        wait_until(lambda: len(self.new_calls()) == 2, 3, "the failed command and its retry", 0.01)
        set_shutdown_status(0)
        wait_until(lambda: len(self.new_calls()) == 3, 3, "the third call", 0.01)
        self.bus.wait_frames(2, 5, "two more checks", self.bus.mark(), msg=BATTERY_EVENT)
        self.assertEqual(["/sbin/shutdown -h"] * 3, self.new_calls())
        self.assertEqual(3, len(self.bus.since(0, msg=POWER_DOWN)))
        check_period([stamp for stamp, _ in self.new_calls(times=True)], "calls at the checks")
        self.assertEqual((PWM + "run", b"0\0", "ok"), backlight_writes()[0])
        self.assertEqual(
            [
                'Value "capacity" from file "capacity" is not a number: "abc"',
                "Battery level is very low, below shutdown threshold (20%)!",
                "Switching off the backlight ...",
                "Shuting down the system ...",
                'Shutdown command "/sbin/shutdown -h" failed with exit status 1',
            ],
            self.daemon.messages(r"not a number|very low|backlight|Shuting|Waiting|^Shutdown command")[:5],
        )
        # Both failures, and the pending checks, are one line each.
        self.assertEqual(1, len(self.daemon.messages(r"^Shutdown command .* failed")))
        self.assertEqual(1, len(self.daemon.messages(r"^Shutdown already requested, waiting for the system to go down$")))
        self.daemon.stop_cleanly(signal.SIGABRT)


if __name__ == "__main__":
    run_tests("pwr_manager")
