"""The simulated board through real file operations, run inside scripts/sandbox.

Each test drives the board with boardsim-ctl and looks at it through /sys/class the way the
daemon does: open/read/write/close, lseek to 0 and read again, poll for POLLPRI.
"""

import errno
import os
import select
import shutil
import subprocess
import sys
import time
import unittest

from quarn_e2e import ctl, trace

SHUTDOWN_LOG = os.environ["SANDBOX_SHUTDOWN_LOG"]
SYS = os.environ.get("BOARDSIM_MOUNT", "/sys/class")
BATTERY = SYS + "/power_supply/bq27425-0/"
GPIO = SYS + "/gpio/"
PWM = SYS + "/pwm/tmpa9xx-pwm:1/"


def read_text(path):
    with open(path) as f:
        return f.read()


def write_bytes(path, data):
    """One open, one write, one close, like the daemon's writers; raises OSError on refusal."""
    fd = os.open(path, os.O_WRONLY)
    try:
        os.write(fd, data)
    finally:
        os.close(fd)


def export_button(edge=b"falling"):
    """The button line as the daemon sets it up: unexport, export, active_low, direction, edge."""
    try:
        write_bytes(GPIO + "unexport", b"2")
    except OSError as error:
        assert error.errno == errno.EINVAL, error
    write_bytes(GPIO + "export", b"2")
    write_bytes(GPIO + "gpio2/active_low", b"1")
    write_bytes(GPIO + "gpio2/direction", b"in")
    write_bytes(GPIO + "gpio2/edge", edge)


# The waiter as its own process, so that the press comes from outside while it sits in poll.
WAITER = r"""
import os, select, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY)
os.read(fd, 4)
poller = select.poll()
poller.register(fd, select.POLLPRI)
print("ready", flush=True)
start = time.monotonic()
events = poller.poll(int(sys.argv[2]))
waited = time.monotonic() - start
os.lseek(fd, 0, os.SEEK_SET)
value = os.read(fd, 4).decode().strip()
print(events[0][1] if events else 0, "%.3f" % waited, value, flush=True)
"""


class BoardTest(unittest.TestCase):
    def setUp(self):
        ctl("release")
        ctl("gauge", "present")
        ctl("external-power", "on")
        ctl("discharge", "0")
        ctl("set", "capacity", "80")
        for line in ("2", "5", "49"):
            if os.path.isdir(GPIO + "gpio" + line):
                write_bytes(GPIO + "unexport", line.encode())
        ctl("trace-clear")

    def test_private_mounts(self):
        mounts = {}
        with open("/proc/mounts") as f:
            for line in f:
                fields = line.split()
                mounts[fields[1]] = fields[2]
        self.assertEqual("tmpfs", mounts.get("/tmp"))
        self.assertEqual("tmpfs", mounts.get("/var/lib/quarn"))
        self.assertEqual("fuse.boardsim", mounts.get(SYS))
        self.assertEqual(["gpio", "power_supply", "pwm"], sorted(os.listdir(SYS)))

    def test_battery_attributes(self):
        expected = {
            "present": "1\n",
            "status": "Charging\n",
            "capacity": "80\n",
            "type": "Battery\n",
            "current_now": "500000\n",
            "voltage_now": "4000000\n",
            "temp": "250\n",
        }
        self.assertEqual(expected, {name: read_text(BATTERY + name) for name in expected})

        ctl("set", "capacity", "42")
        ctl("external-power", "off")
        self.assertEqual("42\n", read_text(BATTERY + "capacity"))
        self.assertEqual("Discharging\n", read_text(BATTERY + "status"))
        self.assertEqual("-300000\n", read_text(BATTERY + "current_now"))
        ctl("set", "status", "Not charging")
        self.assertEqual("Not charging\n", read_text(BATTERY + "status"))

        with self.assertRaises(PermissionError):
            write_bytes(BATTERY + "capacity", b"5")

        ctl("gauge", "absent")
        self.assertFalse(os.path.exists(BATTERY))
        with self.assertRaises(FileNotFoundError):
            read_text(BATTERY + "present")
        ctl("gauge", "present")
        self.assertEqual("1\n", read_text(BATTERY + "present"))

    def test_discharge_model(self):
        ctl("set", "capacity", "30")
        start = time.monotonic()
        ctl("discharge", "600")  # ten percent per second
        time.sleep(0.55)
        capacity = int(read_text(BATTERY + "capacity"))
        elapsed = time.monotonic() - start
        ctl("discharge", "0")
        self.assertLessEqual(capacity, 25)
        self.assertGreaterEqual(capacity, int(30 - 10 * elapsed) - 1)
        stopped = read_text(BATTERY + "capacity")
        time.sleep(0.2)
        self.assertEqual(stopped, read_text(BATTERY + "capacity"))

    def test_export_and_unexport_errors(self):
        write_bytes(GPIO + "export", b"5")
        self.assertEqual(["active_low", "direction", "edge", "value"], sorted(os.listdir(GPIO + "gpio5")))
        with self.assertRaises(OSError) as busy:
            write_bytes(GPIO + "export", b"5")
        self.assertEqual(errno.EBUSY, busy.exception.errno)
        with self.assertRaises(OSError) as invalid:
            write_bytes(GPIO + "unexport", b"7")
        self.assertEqual(errno.EINVAL, invalid.exception.errno)
        with self.assertRaises(OSError) as perm:
            write_bytes(GPIO + "gpio5/value", b"1")
        self.assertEqual(errno.EPERM, perm.exception.errno)
        write_bytes(GPIO + "unexport", b"5")
        self.assertFalse(os.path.exists(GPIO + "gpio5"))
        self.assertEqual(
            [
                (GPIO + "export", b"5", "ok"),
                (GPIO + "export", b"5", "EBUSY"),
                (GPIO + "unexport", b"7", "EINVAL"),
                (GPIO + "gpio5/value", b"1", "EPERM"),
                (GPIO + "unexport", b"5", "ok"),
            ],
            trace(),
        )

    def test_press_wakes_a_poll_waiter_with_pollpri(self):
        export_button()
        self.assertEqual("1\n", read_text(GPIO + "gpio2/value"))
        with subprocess.Popen(
            ["/usr/bin/python3", "-c", WAITER, GPIO + "gpio2/value", "5000"],
            stdout=subprocess.PIPE,
            text=True,
        ) as waiter:
            try:
                self.assertEqual("ready", waiter.stdout.readline().strip())
                time.sleep(0.3)
                self.assertIsNone(waiter.poll(), "the waiter returned without an edge")
                ctl("press")
                revents, waited, value = waiter.stdout.readline().split()
                self.assertEqual(0, waiter.wait(timeout=5))
            finally:
                if waiter.poll() is None:
                    waiter.kill()
        self.assertEqual(select.POLLPRI | select.POLLERR, int(revents) & (select.POLLPRI | select.POLLERR))
        self.assertGreaterEqual(float(waited), 0.25)
        self.assertLess(float(waited), 3.0)
        self.assertEqual("0", value)
        self.assertEqual(
            [
                (GPIO + "unexport", b"2", "EINVAL"),
                (GPIO + "export", b"2", "ok"),
                (GPIO + "gpio2/active_low", b"1", "ok"),
                (GPIO + "gpio2/direction", b"in", "ok"),
                (GPIO + "gpio2/edge", b"falling", "ok"),
            ],
            trace(),
        )

    def test_edge_is_consumed_by_a_read_and_release_does_not_wake(self):
        export_button()
        fd = os.open(GPIO + "gpio2/value", os.O_RDONLY)
        try:
            os.read(fd, 4)
            poller = select.poll()
            poller.register(fd, select.POLLPRI)
            self.assertEqual([], poller.poll(200))
            ctl("press")
            self.assertTrue(poller.poll(1000))
            self.assertTrue(poller.poll(0), "pending until read")
            os.lseek(fd, 0, os.SEEK_SET)
            self.assertEqual(b"0\n", os.read(fd, 4))
            self.assertEqual([], poller.poll(200))
            ctl("release")
            self.assertEqual([], poller.poll(200))
        finally:
            os.close(fd)

    def test_click_holds_past_the_confirmation_delay(self):
        export_button()
        start = time.monotonic()
        ctl("click", "600")
        self.assertEqual("0\n", read_text(GPIO + "gpio2/value"))
        while read_text(GPIO + "gpio2/value") != "1\n":
            self.assertLess(time.monotonic() - start, 5, "never released")
            time.sleep(0.02)
        self.assertGreaterEqual(time.monotonic() - start, 0.6)

    def test_output_line_through_one_read_write_stream(self):
        write_bytes(GPIO + "export", b"49")
        # As a C++ fstream opened in|out: write, flush, rewind, read, write again.
        with open(GPIO + "gpio49/direction", "r+") as direction:
            direction.write("out")
            direction.flush()
            direction.seek(0)
            self.assertEqual("out\n", direction.read())
        with open(GPIO + "gpio49/value", "r+") as value:
            value.write("1")
            value.flush()
            value.seek(0)
            self.assertEqual("1\n", value.read())
            value.seek(0)
            value.write("0")
            value.flush()
            value.seek(0)
            self.assertEqual("0\n", value.read())
            value.seek(0)
            value.write("1")
            value.flush()
        self.assertEqual("1\n", ctl("get", "gpio", "49"))
        self.assertEqual("led1=1 led2=0\n", ctl("get", "led"))

    def test_backlight_bytes_are_kept_exactly(self):
        for name, data in (
            ("export", b"1\0"),
            ("polarity", b"1\0"),
            ("period_ns", b"21312"),
            ("duty_ns", b"21312"),
            ("run", b"1\0"),
            ("run", b"0\0"),
        ):
            write_bytes(PWM + name, data)
        self.assertEqual(
            'export="1\\x00" polarity="1\\x00" period_ns="21312" duty_ns="21312" run="0\\x00"\n',
            ctl("get", "backlight"),
        )
        self.assertEqual("0\n", read_text(PWM + "run"))
        self.assertEqual(
            [(PWM + "run", b"1\0", "ok"), (PWM + "run", b"0\0", "ok")],
            [entry for entry in trace() if entry[0] == PWM + "run"],
        )

    def test_shutdown_is_recorded_not_run(self):
        with open(SHUTDOWN_LOG) as f:
            before = f.read().splitlines()
        result = subprocess.run("/sbin/shutdown -h", shell=True)
        self.assertEqual(0, result.returncode)
        with open(SHUTDOWN_LOG) as f:
            after = f.read().splitlines()
        self.assertEqual(len(before) + 1, len(after))
        stamp, command = after[-1].split(" ", 1)
        self.assertEqual("/sbin/shutdown -h", command)
        self.assertLess(abs(float(stamp) - time.time()), 10)
        # Only the one name is replaced: the program the link pointed to is still itself.
        systemctl = shutil.which("systemctl")
        if systemctl:
            with open(systemctl, "rb") as f:
                self.assertEqual(b"\x7fELF", f.read(4))


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
