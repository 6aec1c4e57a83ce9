"""Faults around the daemon on the simulated board: no dsp-manager at all, a fuel gauge that
disappears and comes back, no SPI bus for the DSP flash, and a button line that is missing or
hangs. Through each the battery events keep their period, and a signal ends the daemon at once.
Run inside scripts/sandbox: faults_board_test.py <pwr-manager>"""

import sys
import time
import unittest

from quarn_e2e import (
    BATTERY_EVENT, GPIO, POWER_DOWN, PWM, Bus, Daemon, Reading, backlight_writes, check_period, cpu_seconds, ctl,
    reset_board, run_tests, shutdown_calls, trace, wait_until,
)

DAEMON = sys.argv.pop(1)

# Nothing could be read, so every field keeps its starting value and "present" failing counts
# as external power; the status is none of the known ones.
NO_GAUGE = Reading(0, 1, "", 100, "", 0, 0, 0, 4)


class FaultTest(unittest.TestCase):
    def setUp(self):
        reset_board()
        self.calls = len(shutdown_calls())
        self.bus = Bus()
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        self.first = self.bus.wait_battery(6, "the first battery event")

    def tearDown(self):
        """The whole run had only periodic readings, and nothing went wrong inside."""
        check_period([f.mono for f in self.bus.since(0, msg=BATTERY_EVENT)], "battery events")
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        self.assertEqual(1, self.daemon.stop())

    def test_without_dsp_manager_the_daemon_still_monitors_and_shuts_down(self):
        # The press sends the configuration to the missing dsp-manager, which cannot block it.
        ctl("press")
        try:
            self.daemon.wait_log(r"^Power button was pressed!$", 3)
        finally:
            ctl("release")
        self.bus.wait_frame(3, "the power-down event after the press", msg=POWER_DOWN)
        wait_until(lambda: shutdown_calls()[self.calls :], 3, "the shutdown command after the press")
        self.assertIn((PWM + "run", b"0\0", "ok"), backlight_writes())
        # A very low battery (below the default 10 %) on two checks: the shutdown the press asked
        # for is still pending, so nothing is run or announced again.
        ctl("external-power", "off")
        ctl("set", "capacity", "5")
        self.daemon.wait_log(r"^Battery level is very low, below shutdown threshold \(10%\)!$", 7)
        self.daemon.wait_log(r"^Shutdown already requested, waiting for the system to go down$", 2)
        self.assertEqual(1, len(shutdown_calls()) - self.calls)
        self.assertEqual(1, len(self.bus.since(0, msg=POWER_DOWN)))
        # The mirrors' requests went nowhere and are sent again after 5 s.
        retry = r"^Buffer not yet initialized, retrying initialization request IPC_MSG_GET_LOGGING_SESSION_STATUS$"
        self.daemon.wait_log(retry, 6)

    def test_start_up_tone_on_the_buzzer_and_errors_of_the_absent_spi_bus(self):
        # Set type 2000 (record 01 00 00 00 D0 07 00 00), start (1), stop (0) when the hardware
        # layer is made; the sandbox has no /dev/spidev0.0, and the daemon goes on without it.
        tone = [("/dev/mldalm ioctl 0x" + code, data, "ok") for code, data in (
            ("40086d00", bytes.fromhex("01000000d0070000")), ("40016d01", b"\x01"), ("40016d01", b"\x00"))]
        requests = ("WR_MODE", "RD_MODE", "WR_BITS_PER_WORD", "RD_BITS_PER_WORD", "WR_MAX_SPEED_HZ", "RD_MAX_SPEED_HZ")
        buzzer = lambda: [entry[1:] for entry in trace() if entry[1].startswith("/dev/")]
        spi = lambda: [(line.level, line.message) for line in self.daemon.log() if line.logger == "spi_logger"]
        wait_until(lambda: len(buzzer()) >= 3 and len(spi()) >= 6, 5, "the start-up tone and the SPI errors")
        self.assertEqual(tone, buzzer())
        self.assertEqual([("ERROR", "SPI_IOC_%s() failed." % request) for request in requests], spi())
        self.bus.wait_battery(3, "a battery event after them", self.first.seq + 1)

    def test_gauge_disappears_and_comes_back(self):
        # Changed just after a check, so that no reading straddles the change.
        before = self.bus.wait_battery(3, "a battery event", self.first.seq + 1)
        ctl("gauge", "absent")
        absent = self.bus.wait_frames(2, 5, "two readings without the gauge", before.seq + 1, msg=BATTERY_EVENT)
        ctl("gauge", "present")
        self.assertEqual([NO_GAUGE, NO_GAUGE], [f.battery() for f in absent])
        back = self.bus.wait_frames(2, 5, "two readings with the gauge back", absent[-1].seq + 1, msg=BATTERY_EVENT)
        charging = Reading(1, 1, "Charging", 80, "Battery", 500000, 4000000, 250, 0)
        self.assertEqual([charging, charging], [f.battery() for f in back])
        self.daemon.wait_log(r'^Could not read value "capacity" from file "capacity"$', 2)


class ButtonLineFaultTest(unittest.TestCase):
    def test_missing_or_hanging_button_line_costs_no_cpu_and_a_signal_still_ends_the_daemon(self):
        reset_board()
        self.addCleanup(ctl, "release")
        self.addCleanup(ctl, "gpio", "present")
        ctl("gpio", "absent")
        daemon = Daemon(DAEMON)
        self.addCleanup(daemon.kill)
        failed = r"^Waiting for the power button failed, trying again every 500 ms$"
        daemon.wait_log(failed, 5)
        before, start = cpu_seconds(daemon.process.pid), time.monotonic()
        time.sleep(4)
        share = (cpu_seconds(daemon.process.pid) - before) / (time.monotonic() - start)
        self.assertLess(share, 0.01, "the daemon used %.1f %% of a core" % (100 * share))
        self.assertEqual(1, len(daemon.messages(failed)))
        # Back, the line is exported again. Held down, it gives no further edge: the watcher
        # waits without end.
        back = time.time()
        ctl("gpio", "present")
        edge = lambda: [entry for entry in trace() if entry[0] > back and entry[1] == GPIO + "gpio2/edge"]
        wait_until(edge, 3, "the watcher waiting on the line again", 0.1)
        time.sleep(0.2)
        ctl("press")
        daemon.wait_log(r"^Power button was pressed!$", 3)
        time.sleep(0.5)
        daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests()
