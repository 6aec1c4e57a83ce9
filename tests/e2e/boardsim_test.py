"""The simulated board through real file operations, run inside scripts/sandbox: boardsim-ctl
drives it, and /sys/class is used the way the daemon uses it (open/write/close, lseek to 0 and
read again, poll for POLLPRI)."""

import errno
import os
import select
import subprocess
import threading
import time
import unittest

from quarn_e2e import GPIO, PWM, SHUTDOWN_LOG, SYS, ctl, run_tests, set_shutdown_status, trace


def write_bytes(path, data):
    """One open, one write, one close, like the daemon's writers; OSError on refusal."""
    fd = os.open(path, os.O_WRONLY)
    try:
        os.write(fd, data)
    finally:
        os.close(fd)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class BoardTest(unittest.TestCase):
    def setUp(self):
        ctl("release")
        for line in ("2", "5"):
            if os.path.isdir(GPIO + "gpio" + line):
                write_bytes(GPIO + "unexport", line.encode())
        ctl("trace-clear")

    def export_button(self):
        """The button line as the daemon sets it up; released, it reads 1 through active_low."""
        for name, data in (("export", b"2"), ("gpio2/active_low", b"1"), ("gpio2/direction", b"in")):
            write_bytes(GPIO + name, data)
        write_bytes(GPIO + "gpio2/edge", b"falling")
        self.assertEqual(b"1\n", read_bytes(GPIO + "gpio2/value"))

    def test_private_mounts(self):
        with open("/proc/mounts") as f:
            mounts = {fields[1]: fields[2] for fields in (line.split() for line in f)}
        self.assertEqual(
            ("tmpfs", "tmpfs", "tmpfs", "fuse.boardsim"),
            (mounts["/tmp"], mounts["/run"], mounts["/var/lib/quarn"], mounts[SYS]),
        )

    def test_export_errors_and_exact_bytes_in_the_write_trace(self):
        write_bytes(GPIO + "export", b"5")
        self.assertEqual(["active_low", "direction", "edge", "value"], sorted(os.listdir(GPIO + "gpio5")))
        refusals = (("export", b"5", errno.EBUSY), ("unexport", b"7", errno.EINVAL), ("gpio5/value", b"1", errno.EPERM))
        for path, data, code in refusals:
            with self.assertRaises(OSError) as refused:
                write_bytes(GPIO + path, data)
            self.assertEqual(code, refused.exception.errno, path)
        write_bytes(GPIO + "unexport", b"5")
        self.assertFalse(os.path.exists(GPIO + "gpio5"))
        for name, data in (("export", b"1\0"), ("duty_ns", b"21312"), ("run", b"1\0"), ("run", b"0\0")):
            write_bytes(PWM + name, data)
        backlight = 'export="1\\x00" polarity=none period_ns=none duty_ns="21312" run="0\\x00"\n'
        self.assertEqual(backlight, ctl("get", "backlight"))
        self.assertEqual(b"0\n", read_bytes(PWM + "run"))
        self.assertEqual(
            [
                (GPIO + "export", b"5", "ok"),
                (GPIO + "export", b"5", "EBUSY"),
                (GPIO + "unexport", b"7", "EINVAL"),
                (GPIO + "gpio5/value", b"1", "EPERM"),
                (GPIO + "unexport", b"5", "ok"),
                (PWM + "export", b"1\0", "ok"),
                (PWM + "duty_ns", b"21312", "ok"),
                (PWM + "run", b"1\0", "ok"),
                (PWM + "run", b"0\0", "ok"),
            ],
            [entry[1:] for entry in trace()],
        )

    def test_press_wakes_a_pollpri_waiter_a_read_consumes_the_edge_and_release_does_not_wake(self):
        self.export_button()
        fd = os.open(GPIO + "gpio2/value", os.O_RDONLY)
        self.addCleanup(os.close, fd)
        os.read(fd, 4)
        poller = select.poll()
        poller.register(fd, select.POLLPRI)
        woken = []
        waiter = threading.Thread(target=lambda: woken.append((poller.poll(5000), time.monotonic())))
        waiter.start()
        time.sleep(0.3)
        self.assertTrue(waiter.is_alive(), "the waiter returned without an edge")
        pressed = time.monotonic()
        ctl("press")
        waiter.join(5)
        self.assertTrue(woken and woken[0][0], "no wake-up within 5 s of the press")
        [(_, revents)], woke = woken[0]
        self.assertEqual(select.POLLPRI | select.POLLERR, revents & (select.POLLPRI | select.POLLERR))
        self.assertLess(woke - pressed, 3)
        self.assertTrue(poller.poll(0), "pending until read")
        os.lseek(fd, 0, os.SEEK_SET)
        self.assertEqual(b"0\n", os.read(fd, 4))
        self.assertEqual([], poller.poll(200))
        ctl("release")
        self.assertEqual([], poller.poll(200))

    def test_shutdown_is_recorded_not_run(self):
        with open(SHUTDOWN_LOG) as f:
            before = f.read().splitlines()
        self.assertEqual(0, subprocess.run("/sbin/shutdown -h", shell=True).returncode)
        with open(SHUTDOWN_LOG) as f:
            after = f.read().splitlines()
        self.assertEqual(len(before) + 1, len(after))
        stamp, command = after[-1].split(" ", 1)
        self.assertEqual("/sbin/shutdown -h", command)
        self.assertLess(abs(float(stamp) - time.time()), 10)
        set_shutdown_status(3)
        try:
            self.assertEqual(3, subprocess.run("/sbin/shutdown -h", shell=True).returncode)
        finally:
            set_shutdown_status(0)


if __name__ == "__main__":
    run_tests()
