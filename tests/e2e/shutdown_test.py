"""Shutdown on a very low battery (two low checks in a row, one command per shutdown), the end of
the daemon on a signal, its version record, and a second instance on the same board.
Run inside scripts/sandbox: shutdown_test.py <pwr-manager>"""

import os
import signal
import subprocess
import sys
import time
import unittest

from quarn_e2e import (
    BATTERY_EVENT, GET_BATTERY, POWER_DOWN, POWER_DOWN_FRAME, PWM, Bus, Daemon, backlight_writes, check_period, ctl,
    on_battery_at, reset_board, run_tests, set_shutdown_status, shutdown_calls, wait_until,
)

DAEMON = sys.argv.pop(1)
VERSION_FILE = "/var/lib/quarn/versions/pwr-manager.info"
PENDING = r"^Shutdown already requested, waiting for the system to go down$"


class ShutdownTest(unittest.TestCase):
    def start(self, arguments, capacity):
        """The daemon with the board on battery at the capacity, a reader of its events and of the
        core-app answers."""
        reset_board()
        ctl("external-power", "off")
        ctl("set", "capacity", str(capacity))
        self.calls = len(shutdown_calls())
        self.bus = Bus(("core-app",))
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON, arguments)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()

    def new_calls(self, times=False):
        return shutdown_calls(times)[self.calls :]

    def test_two_low_checks_shut_down_once_and_one_bad_reading_does_not(self):
        self.start(["20"], 50)
        self.daemon.wait_log(r"^Auto-shutdown battery threshold level is 20%\.$", 5)
        # Each change lands just after a check, so that no reading straddles it.
        check, checks = self.bus.wait_battery(6, "a check at 50 %", 0, on_battery_at(50)), []
        for text in ("abc", "50", "18", "18"):
            ctl("set", "capacity", text)
            check = self.bus.wait_battery(3, "a check after capacity " + text, check.seq + 1)
            checks.append(check)
        self.assertEqual([0, 50, 18, 18], [f.battery().capacity for f in checks])
        first, second = checks[2:]
        self.assertEqual(first.seq + 1, second.seq, "a power-down after one low check")
        power_down = self.bus.wait_frames(2, 2, "the power-down event", second.seq)[1]
        self.assertEqual((second.seq + 1, POWER_DOWN_FRAME), (power_down.seq, power_down.raw))
        wait_until(self.new_calls, 2, "the call of /sbin/shutdown")
        self.assertEqual(["/sbin/shutdown -h"], self.new_calls())
        # The backlight went dark: its run file got the bytes "0\0".
        self.assertEqual((PWM + "run", b"0\0", "ok"), backlight_writes()[0])
        self.assertEqual(
            [
                'Value "capacity" from file "capacity" is not a number: "abc"',
                "Battery level is very low, below shutdown threshold (20%)!",
                "Switching off the backlight ...",
                "Shuting down the system ...",
            ],
            self.daemon.messages(r"not a number|very low|backlight|Shuting|Waiting")[:4],
        )

        # The checks go on below the threshold for 20 s: one line, no second command or event.
        called = self.new_calls(times=True)[0][0]
        self.second_instance_and_information_requests_leave_the_daemon_alone()
        time.sleep(max(0.0, called + 20 - time.time()))
        self.assertEqual(["/sbin/shutdown -h"], self.new_calls())
        self.assertEqual([power_down.seq], [f.seq for f in self.bus.since(0, msg=POWER_DOWN)])
        self.assertGreaterEqual(len(self.bus.since(power_down.seq, msg=BATTERY_EVENT)), 9)
        self.assertEqual(1, len(self.daemon.messages(PENDING)))
        self.daemon.stop_cleanly()

    def second_instance_and_information_requests_leave_the_daemon_alone(self):
        for argument, first_line in (("--help", "usage: pwr-manager [THRESHOLD]"), ("--version", "Power Manager")):
            answer = subprocess.run([DAEMON, argument], capture_output=True, text=True, timeout=10)
            self.assertEqual((0, first_line), (answer.returncode, answer.stdout.split("\n")[0]), argument)
        second = Daemon(DAEMON)
        self.assertEqual(2, second.process.wait(10))
        second.console.close()
        self.assertEqual(
            ['Another pwr-manager is running (it holds "/run/pwr-manager.lock"); this one exits without touching the bus'],
            second.messages(),
        )
        mark = self.bus.mark()
        self.bus.request(GET_BATTERY)
        self.assertEqual(96, len(self.bus.wait_frame(3, "the first daemon's answer", mark, "core-app").raw))

    def test_failed_shutdown_command_runs_again_at_the_next_check(self):
        set_shutdown_status(1)
        self.addCleanup(set_shutdown_status, 0)
        self.start([], 5)
        wait_until(lambda: len(self.new_calls()) == 2, 9, "the failed command and its retry", 0.01)
        set_shutdown_status(0)
        wait_until(lambda: len(self.new_calls()) == 3, 3, "the third call", 0.01)
        # Succeeded: the next two checks leave it alone.
        self.bus.wait_frames(2, 5, "two more checks", self.bus.mark(), msg=BATTERY_EVENT)
        self.assertEqual(3, len(self.new_calls()))
        check_period([stamp for stamp, _ in self.new_calls(times=True)], "calls at the checks")
        failed = self.daemon.messages(r"^Shutdown command .* failed")
        self.assertEqual(['Shutdown command "/sbin/shutdown -h" failed with exit status 1'], failed)
        self.daemon.stop_cleanly()

    def test_signals_end_the_loop_with_exit_code_1_and_the_version_record_is_written(self):
        if os.path.exists(VERSION_FILE):
            os.remove(VERSION_FILE)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGABRT):
            with self.subTest(signal=number), Bus() as bus:
                daemon = Daemon(DAEMON)
                self.addCleanup(daemon.kill)
                bus.wait_connected()
                bus.wait_battery(6, "the first battery event")
                daemon.stop_cleanly(number)
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
