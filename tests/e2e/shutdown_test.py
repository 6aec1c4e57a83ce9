"""Shutdown on a very low battery, the end of the daemon on a signal and its version record, on
the simulated board. Run inside scripts/sandbox: shutdown_test.py <pwr-manager>"""

import os
import signal
import sys
import unittest

from quarn_e2e import (
    POWER_DOWN_FRAME, PWM, Bus, Daemon, backlight_writes, ctl, on_battery_at, reset_board, run_tests, shutdown_calls,
    wait_until,
)

DAEMON = sys.argv.pop(1)
VERSION_FILE = "/var/lib/quarn/versions/pwr-manager.info"


class ShutdownTest(unittest.TestCase):
    def test_check_below_the_threshold_given_on_the_command_line_shuts_down(self):
        reset_board()
        calls = len(shutdown_calls())
        with Bus() as bus:
            daemon = Daemon(DAEMON, ["20"])
            self.addCleanup(daemon.kill)
            bus.wait_connected()
            daemon.wait_log(r"^Auto-shutdown battery threshold level is 20%\.$", 5)
            ctl("external-power", "off")
            ctl("set", "capacity", "18")
            check = bus.wait_battery(6, "a check at 18 %", 0, on_battery_at(18))
            power_down = bus.wait_frames(2, 2, "the power-down event", check.seq)[1]
            self.assertEqual(check.seq + 1, power_down.seq, "the power-down event did not follow the check")
            self.assertEqual(POWER_DOWN_FRAME, power_down.raw)
            wait_until(lambda: shutdown_calls()[calls:], 2, "the call of /sbin/shutdown")
            self.assertEqual("/sbin/shutdown -h", shutdown_calls()[calls])
            # The backlight went dark: its run file got the bytes "0\0".
            self.assertEqual((PWM + "run", b"0\0", "ok"), backlight_writes()[0])
            daemon.wait_log(r"^Shuting down the system \.\.\.$", 2)
            self.assertEqual(
                [
                    "Battery level is very low, below shutdown threshold (20%)!",
                    "Switching off the backlight ...",
                    "Shuting down the system ...",
                ],
                daemon.messages(r"very low|backlight|Shuting|Waiting")[:3],
            )
            self.assertEqual(1, daemon.stop())

    def test_signals_end_the_loop_with_exit_code_1_and_the_version_record_is_written(self):
        if os.path.exists(VERSION_FILE):
            os.remove(VERSION_FILE)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGABRT):
            with self.subTest(signal=number), Bus() as bus:
                daemon = Daemon(DAEMON)
                self.addCleanup(daemon.kill)
                bus.wait_connected()
                bus.wait_battery(6, "the first battery event")
                self.assertEqual(1, daemon.stop(number))
                exits = [line for line in daemon.log() if line.message == "Exiting application normally."]
                self.assertEqual([("INFO", "exit_logger")], [(line.level, line.logger) for line in exits])
        with open(VERSION_FILE, "rb") as f:
            lines = f.read().split(b"\n")
        self.assertEqual([b"Power Manager", b"NABRIX_1.2"], lines[:2])
        month = "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
        self.assertRegex(lines[2].decode(), r"^%s [ 123]\d \d{4} [0-2]\d:[0-5]\d:[0-5]\d$" % month)
        self.assertRegex(lines[3].decode(), r"^[0-9a-f]{40}$")
        self.assertEqual(b"", lines[4])  # four lines, each ending in a line feed
        self.assertEqual(5, len(lines))


if __name__ == "__main__":
    run_tests()
