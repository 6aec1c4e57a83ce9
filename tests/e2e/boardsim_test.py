# The simulated board through real file operations, run inside scripts/sandbox: the board's own
# semantics are pinned by BoardStateTest; here, what the kernel's FUSE and poll and the sandbox's
# mounts and shutdown recorder make of them.

import errno
import os
import select
import subprocess
import threading
import time
import unittest

from quarn_e2e import GPIO, PWM, SHUTDOWN_LOG, SYS, ctl, run_tests, set_shutdown_status, trace


def write_bytes(path, data):
    # One open, one write, one close, like the daemon's writers; OSError on refusal.
    fd = os.open(path, os.O_WRONLY)
    try:
        os.write(fd, data)
    finally:
        os.close(fd)


class BoardTest(unittest.TestCase):
    def test_private_mounts_and_the_shutdown_recorder(self):
        with open("/proc/mounts") as f:
            mounts = {fields[1]: fields[2] for fields in (line.split() for line in f)}
        self.assertEqual(("tmpfs",) * 3 + ("fuse.boardsim",), tuple(mounts[m] for m in ("/tmp", "/run", "/var/lib/quarn", SYS)))
        self.addCleanup(set_shutdown_status, 0)
        for status in (0, 3):
            set_shutdown_status(status)
            self.assertEqual(status, subprocess.run("/sbin/shutdown -h", shell=True).returncode)
        with open(SHUTDOWN_LOG) as f:
            calls = [line.split(" ", 1) for line in f.read().splitlines()]
        self.assertEqual(["/sbin/shutdown -h"] * 2, [command for _, command in calls])
        self.assertLess(abs(float(calls[0][0]) - time.time()), 10)

    def test_errors_and_exact_bytes_through_the_mount_and_a_press_through_poll(self):
        ctl("trace-clear")
        for name, data in (("export", b"2"), ("gpio2/active_low", b"1"), ("gpio2/edge", b"falling")):
            write_bytes(GPIO + name, data)
        with self.assertRaises(OSError) as refused:
            write_bytes(GPIO + "export", b"2")
        self.assertEqual(errno.EBUSY, refused.exception.errno)
        write_bytes(PWM + "run", b"0\0")
        self.assertEqual(
            [(GPIO + "export", b"2", "ok"), (GPIO + "gpio2/active_low", b"1", "ok"), (GPIO + "gpio2/edge", b"falling", "ok"),
             (GPIO + "export", b"2", "EBUSY"), (PWM + "run", b"0\0", "ok")],
            [entry[1:] for entry in trace()],
        )
        fd = os.open(GPIO + "gpio2/value", os.O_RDONLY)
        self.addCleanup(os.close, fd)
        self.assertEqual(b"1\n", os.read(fd, 4))
        poller = select.poll()
        poller.register(fd, select.POLLPRI)
        # A press wakes the waiter; the edge is pending until read; the release is no edge.
        threading.Timer(0.3, ctl, ("press",)).start()
        waited = time.monotonic()
        [(_, revents)] = poller.poll(5000)
        self.assertGreater(time.monotonic() - waited, 0.25, "woken before the press")
        self.assertEqual(select.POLLPRI | select.POLLERR, revents & (select.POLLPRI | select.POLLERR))
        self.assertTrue(poller.poll(0))
        os.lseek(fd, 0, os.SEEK_SET)
        self.assertEqual(b"0\n", os.read(fd, 4))
        self.assertEqual([], poller.poll(200))
        ctl("release")
        self.assertEqual([], poller.poll(200))


if __name__ == "__main__":
    run_tests()
