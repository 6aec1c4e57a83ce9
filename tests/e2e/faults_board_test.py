# Faults of the simulated board around the daemon, in one run: a button line that is missing
# at the start, no SPI bus for the DSP flash, a fuel gauge that disappears and comes back, no
# dsp-manager at all, and a button held down at the end. Through them the battery events keep their
# period, and SIGTERM ends the daemon at once. Run inside scripts/sandbox: faults_board_test.py <pwr-manager>

import time

from quarn_e2e import (
    BATTERY_EVENT, GPIO, POWER_DOWN, PWM, DaemonTest, Reading, backlight_writes, check_period, cpu_seconds, ctl,
    run_tests, trace, wait_until,
)

# Nothing could be read, so every field keeps its starting value and "present" failing counts
# as external power; the status is none of the known ones.
NO_GAUGE = Reading(0, 1, "", 100, "", 0, 0, 0, 4)
CHARGING = Reading(1, 1, "Charging", 80, "Battery", 500000, 4000000, 250, 0)


class FaultTest(DaemonTest):
    def test_board_faults_cost_no_cpu_and_stop_nothing(self):
        self.addCleanup(ctl, "release")
        self.addCleanup(ctl, "gpio", "present")
        ctl("gpio", "absent")
        self.start()
        failed = r"^Waiting for the power button failed, trying again every 500 ms$"
        self.daemon.wait_log(failed, 5)
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

        # The gauge goes just after a check, so that no reading straddles the change.
        before = self.bus.wait_battery(6, "a battery event")
        ctl("gauge", "absent")
        cpu, start = cpu_seconds(self.daemon.process.pid), time.monotonic()
        absent = self.bus.wait_frames(2, 5, "two readings without the gauge", before.seq + 1, msg=BATTERY_EVENT)
        ctl("gauge", "present")
        self.assertEqual([NO_GAUGE, NO_GAUGE], [f.battery() for f in absent])
        back = self.bus.wait_frames(2, 5, "two readings with the gauge back", absent[-1].seq + 1, msg=BATTERY_EVENT)
        self.assertEqual([CHARGING, CHARGING], [f.battery() for f in back])
        self.daemon.wait_log(r'^Could not read value "capacity" from file "capacity"$', 2)
        # Meanwhile the missing button line was retried without costing a core.
        share = (cpu_seconds(self.daemon.process.pid) - cpu) / (time.monotonic() - start)
        self.assertLess(share, 0.01, "the daemon used %.1f %% of a core" % (100 * share))
        self.assertEqual(1, len(self.daemon.messages(failed)))

        # Back, the line is exported again; the press sends the configuration to the missing
        # dsp-manager, which cannot block it.
        back = time.time()
        ctl("gpio", "present")
        edge = lambda: [entry for entry in trace() if entry[0] > back and entry[1] == GPIO + "gpio2/edge"]
        wait_until(edge, 3, "the watcher waiting on the line again", 0.1)
        time.sleep(0.2)
        self.press(release=False)
        self.wait_shutdown()
        self.assertIn((PWM + "run", b"0\0", "ok"), backlight_writes())
        # A very low battery (below the default 10 %) on two checks: the shutdown the press asked
        # for is still pending, so nothing is run or announced again.
        ctl("external-power", "off")
        ctl("set", "capacity", "5")
        self.daemon.wait_log(r"^Battery level is very low, below shutdown threshold \(10%\)!$", 7)
        self.daemon.wait_log(r"^Shutdown already requested, waiting for the system to go down$", 2)
        self.assertEqual((1, 1), (len(self.new_calls()), len(self.bus.since(msg=POWER_DOWN))))
        # The mirrors' requests went nowhere and are sent again after 5 s.
        retry = r"^Buffer not yet initialized, retrying initialization request IPC_MSG_GET_LOGGING_SESSION_STATUS$"
        self.daemon.wait_log(retry, 6)
        check_period([f.mono for f in self.bus.since(msg=BATTERY_EVENT)], "battery events")
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        # Held down, the button gives no further edge: the watcher waits without end.
        self.daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests("pwr_manager")
