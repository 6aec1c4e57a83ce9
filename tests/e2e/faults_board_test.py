# Faults of the simulated board around the daemon, in one run: a button line that is missing
# at the start, no SPI bus for the DSP flash, a fuel gauge that disappears and comes back, no
# dsp-manager at all, a shutdown command that fails until it is run again at the checks, and a
# button held down at the end. Through them the battery events keep their period, and SIGABRT ends
# the daemon at once. Run inside scripts/sandbox: faults_board_test.py <pwr-manager>

import errno
import os
import signal
import time

from quarn_e2e import (
    BATTERY_EVENT, GPIO, POWER_DOWN, PWM, SHUTDOWN_STATUS, DaemonTest, Reading, check_period, cpu_seconds, ctl,
    run_tests, trace, wait_until,
)

# Nothing could be read, so every field keeps its starting value and "present" failing counts
# as external power; the status is none of the known ones.
NO_GAUGE = Reading(0, 1, "", 100, "", 0, 0, 0, 4)
CHARGING = Reading(1, 1, "Charging", 80, "Battery", 500000, 4000000, 250, 0)


def set_shutdown_status(status):
    # The exit status of the next calls of the recorder.
    with open(SHUTDOWN_STATUS, "w") as f:
        f.write("%d\n" % status)


class FaultTest(DaemonTest):
    def test_board_faults_cost_no_cpu_and_stop_nothing(self):
        self.addCleanup(ctl, "release")
        self.addCleanup(ctl, "gpio", "present")
        self.addCleanup(set_shutdown_status, 0)
        ctl("gpio", "absent")
        set_shutdown_status(1)
        self.start()
        failed = r"^Waiting for the power button failed, trying again every 500 ms$"
        self.daemon.wait_log(failed, 5)
        # Set type 2000 (record 01 00 00 00 D0 07 00 00), start (1), stop (0) when the hardware
        # layer is made; the sandbox has no /dev/spidev0.0, and the daemon goes on without it.
        tone = [("/dev/mldalm ioctl 0x" + code, data, "ok") for code, data in (
            ("40086d00", bytes.fromhex("01000000d0070000")), ("40016d01", b"\x01"), ("40016d01", b"\x00"))]
        requests = ("WR_MODE", "RD_MODE", "WR_BITS_PER_WORD", "RD_BITS_PER_WORD", "WR_MAX_SPEED_HZ", "RD_MAX_SPEED_HZ")
        buzzer = lambda: [entry[1:] for entry in trace("/dev/")]
        spi = lambda: [(line.level, line.message) for line in self.daemon.log() if line.logger == "spi_logger"]
        wait_until(lambda: len(buzzer()) >= 3 and len(spi()) >= 6, 5, "the start-up tone and the SPI errors")
        self.assertEqual(tone, buzzer())
        self.assertEqual([("ERROR", "SPI_IOC_%s() failed." % request) for request in requests], spi())

        # The gauge goes just after a check, so that no reading straddles the change.
        before = self.bus.wait_frame(6, "a battery event", msg=BATTERY_EVENT)
        ctl("gauge", "absent")
        cpu, start = cpu_seconds(self.daemon.process.pid), time.monotonic()
        absent = self.bus.wait_frames(2, 5, "two readings without the gauge", before.seq + 1, msg=BATTERY_EVENT)
        ctl("gauge", "present")
        self.assertEqual([NO_GAUGE, NO_GAUGE], [f.battery() for f in absent])
        back = self.bus.wait_frames(2, 5, "two readings with the gauge back", absent[-1].seq + 1, msg=BATTERY_EVENT)
        self.assertEqual([CHARGING, CHARGING], [f.battery() for f in back])
        # Meanwhile the missing button line was retried without costing a core.
        share = (cpu_seconds(self.daemon.process.pid) - cpu) / (time.monotonic() - start)
        self.assertLess(share, 0.01, "the daemon used %.1f %% of a core" % (100 * share))
        self.assertEqual(1, len(self.daemon.messages(failed)))

        # Back, the line is exported again; the press sends the configuration to the missing
        # dsp-manager, which cannot block it.
        back = time.time()
        ctl("gpio", "present")
        edge = lambda: [entry for entry in trace(GPIO + "gpio2/edge") if entry[0] > back]
        wait_until(edge, 3, "the watcher waiting on the line again", 0.1)
        # The board's refusals reach a writer through the mount with their errno.
        fd = os.open(GPIO + "export", os.O_WRONLY)
        self.addCleanup(os.close, fd)
        self.assertRaisesRegex(OSError, r"^\[Errno %d\]" % errno.EBUSY, os.write, fd, b"2")
        time.sleep(0.2)
        self.press(release=False)
        self.wait_shutdown()
        # A very low battery (below the default 10 %) on two checks runs the failed command again
        # at every check until it succeeds; then the checks leave it alone.
        ctl("external-power", "off")
        ctl("set", "capacity", "5")
        self.daemon.wait_log(r"^Battery level is very low, below shutdown threshold \(10%\)!$", 7)
        wait_until(lambda: len(self.new_calls()) == 3, 5, "the failed command run again at two checks", 0.01)
        set_shutdown_status(0)
        wait_until(lambda: len(self.new_calls()) == 4, 3, "the fourth call", 0.01)
        # Three more checks: the lines of the first two are in the log by the third.
        self.bus.wait_frames(3, 7, "three more checks", self.bus.mark(), msg=BATTERY_EVENT)
        self.assertEqual((["/sbin/shutdown -h"] * 4, 4), (self.new_calls(), len(self.bus.since(msg=POWER_DOWN))))
        check_period([stamp for stamp, _ in self.new_calls(times=True)[1:]], "calls at the checks")
        # The backlight goes off with each run of the command, not at the checks that find it under way.
        self.assertEqual(4, [entry[1:] for entry in trace(PWM)].count((PWM + "run", b"0\0", "ok")))
        # The failures, and the checks while the shutdown is under way, are one line each.
        lines = (r'^Shutdown command "/sbin/shutdown -h" failed with exit status 1$',
                 r"^Shutdown already requested, waiting for the system to go down$")
        self.assertEqual([1, 1], [len(self.daemon.messages(line)) for line in lines])
        # The mirrors' requests went nowhere and are sent again after 5 s.
        retry = r"^Buffer not yet initialized, retrying initialization request IPC_MSG_GET_LOGGING_SESSION_STATUS$"
        self.daemon.wait_log(retry, 6)
        check_period([f.mono for f in self.bus.since(msg=BATTERY_EVENT)], "battery events")
        self.assertEqual([], self.daemon.messages(r"Unexpected exception"))
        # Held down, the button gives no further edge: the watcher waits without end.
        self.daemon.stop_cleanly(signal.SIGABRT)


if __name__ == "__main__":
    run_tests("pwr_manager")
