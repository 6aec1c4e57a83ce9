"""Shutdown on a very low battery, the end of the daemon on a signal and its version record, on
the simulated board. Run inside scripts/sandbox: shutdown_test.py <pwr-manager>"""

import os
import re
import signal
import sys
import unittest

from quarn_e2e import (
    MSG_EVENT_BATTERY_LOW,
    MSG_EVENT_BATTERY_STATUS_CHANGED,
    MSG_EVENT_POWER_DOWN,
    PWM,
    VERSION_FILE,
    Bus,
    Daemon,
    ctl,
    reset_board,
    run_tests,
    shutdown_calls,
    timed_trace,
    wait_until,
)

DAEMON = sys.argv.pop(1)

POWER_DOWN_FRAME = bytes.fromhex("39000000" "03000000")  # 57 from the pwr-manager server, no payload
VERY_LOW = r"^Battery level is very low, below shutdown threshold \(20%\)!$"


class VeryLowBatteryTest(unittest.TestCase):
    def setUp(self):
        reset_board()
        self.calls_before = len(shutdown_calls())
        self.bus = Bus(responses=())
        self.daemon = Daemon(DAEMON, ["20"])
        self.addCleanup(self.bus.close)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()

    def test_every_check_below_the_threshold_shuts_down(self):
        self.daemon.wait_log(r"^Auto-shutdown battery threshold level is 20%\.$", 5)
        # At the threshold itself the level is not below it (and 20 % is not low either).
        ctl("external-power", "off")
        ctl("set", "capacity", "20")
        at_threshold = self.bus.wait_battery(6, "a check at 20 %", 0, lambda f: on_battery_at(f, 20))
        following = self.bus.wait_frames(2, 3, "the next frame", at_threshold.seq)[1]
        self.assertEqual(MSG_EVENT_BATTERY_STATUS_CHANGED, following.msg)
        self.assertEqual([], shutdown_calls(self.calls_before))
        self.assertEqual([], [entry for entry in timed_trace() if entry[1].startswith(PWM)])

        ctl("set", "capacity", "18")
        check = self.bus.wait_battery(3, "a check at 18 %", following.seq, lambda f: on_battery_at(f, 18))
        power_down = self.bus.wait_frames(2, 2, "the power-down event", check.seq)[1]
        self.assertEqual(check.seq + 1, power_down.seq, "the power-down event did not follow the check")
        self.assertEqual(POWER_DOWN_FRAME, power_down.raw)
        first_call = wait_until(lambda: shutdown_calls(self.calls_before), 2, "the call of /sbin/shutdown")
        self.assertEqual(1, len(first_call))
        self.assertEqual("/sbin/shutdown -h", first_call[0].split(" ", 1)[1])

        # The backlight went dark: its run file got the bytes "0\0".
        self.assertIn('run="0\\x00"', ctl("get", "backlight"))
        runs = [entry for entry in timed_trace() if entry[1] == PWM + "run"]
        self.assertEqual([(b"0\0", "ok")], [entry[2:] for entry in runs])
        self.assertLess(runs[0][0], float(first_call[0].split(" ")[0]))

        self.daemon.wait_log(r"^Shuting down the system \.\.\.$", 2)
        self.assertEqual(
            [
                "Battery level is very low, below shutdown threshold (20%)!",
                "Switching off the backlight ...",
                "Shuting down the system ...",
            ],
            self.daemon.messages(r"very low|backlight|Shuting|Waiting"),
        )

        # The daemon goes on running, and each later check below the threshold repeats the
        # whole sequence: warning, backlight off, power-down event, shutdown command.
        self.bus.wait_frames(3, 5, "two more power-down events", 0, msg=MSG_EVENT_POWER_DOWN)

        def counts():
            return [
                len(self.bus.events(0, MSG_EVENT_POWER_DOWN)),
                len(shutdown_calls(self.calls_before)),
                len([entry for entry in timed_trace() if entry[1] == PWM + "run"]),
                len(self.daemon.messages(VERY_LOW)),
                len(self.daemon.messages(r"^Switching off the backlight \.\.\.$")),
                len(self.daemon.messages(r"^Shuting down the system \.\.\.$")),
            ]

        try:
            wait_until(lambda: len(set(counts())) == 1, 3, "as many calls, writes and lines as events")
        except AssertionError:
            raise AssertionError("events, shutdown calls, backlight writes and log lines: %s" % counts())
        self.assertEqual([], self.bus.events(0, MSG_EVENT_BATTERY_LOW))
        self.assertEqual([], self.daemon.messages("Waiting"))

        # Back on external power the calls stop.
        mark = self.bus.mark()
        ctl("external-power", "on")
        settled = self.bus.wait_battery(3, "external power", mark, lambda f: f.battery()["externalPower"])
        count = len(shutdown_calls(self.calls_before))
        self.bus.wait_battery(3, "one more check", settled.seq + 1)
        self.assertEqual(count, len(shutdown_calls(self.calls_before)))
        self.assertEqual(1, self.daemon.stop())


class EndAndVersionTest(unittest.TestCase):
    def run_until_signal(self, number):
        reset_board()
        with Bus(responses=()) as bus, Daemon(DAEMON) as daemon:
            bus.wait_connected()
            bus.wait_battery(6, "the first battery event")
            self.assertEqual(1, daemon.stop(number), "exit code after signal %d" % number)
            exits = [line for line in daemon.log() if line.message == "Exiting application normally."]
            self.assertEqual(["exit_logger"], [line.logger for line in exits])
            self.assertEqual("INFO", exits[0].level)
            return daemon

    def test_sigterm_sigint_and_sigabrt_end_the_loop_with_exit_code_1(self):
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGABRT):
            with self.subTest(signal=number):
                self.run_until_signal(number)

    def test_version_record_written_at_start(self):
        if os.path.exists(VERSION_FILE):
            os.remove(VERSION_FILE)
        with Daemon(DAEMON) as daemon:
            content = wait_until(lambda: _read_lines(VERSION_FILE, 4), 5, "the version record")
            self.assertEqual(1, daemon.stop())
        lines = content.split(b"\n")
        self.assertEqual(5, len(lines), content)  # four lines, each ending in a line feed
        self.assertEqual(b"", lines[4])
        self.assertEqual(b"Power Manager", lines[0])
        self.assertEqual(b"NABRIX_1.2", lines[1])
        month = "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
        self.assertRegex(lines[2].decode(), r"^%s [ 123]\d \d{4} [0-2]\d:[0-5]\d:[0-5]\d$" % month)
        self.assertRegex(lines[3].decode(), r"^[0-9a-f]{40}$")
        self.assertTrue(re.fullmatch(rb"[\x20-\x7e\n]+", content))


def on_battery_at(frame, capacity):
    reading = frame.battery()
    return reading["capacity"] == capacity and not reading["externalPower"] and reading["chargeState"] == 1


def _read_lines(path, count):
    """The file's bytes once it holds `count` complete lines."""
    try:
        with open(path, "rb") as f:
            content = f.read()
    except FileNotFoundError:
        return None
    return content if content.count(b"\n") >= count else None


if __name__ == "__main__":
    run_tests()
