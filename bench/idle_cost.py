"""What the idle daemon costs a battery: how often its threads wake up and how much CPU it uses
while nothing happens but its own timers (the battery check every 2 s, the LED tick every 1 s),
once with the dsp-manager present and once with it absent.

Run it inside the sandbox, with the daemon and quarn-bus binaries as arguments:

    scripts/sandbox --board-dir <build>/tools/boardsim -- \\
        /usr/bin/python3 bench/idle_cost.py <build>/src/pwr-manager/pwr-manager \\
        <build>/tools/quarn-bus/quarn-bus [options]

or through CMake: `cmake --build <build> --target idle_cost` (60 s a case) or `idle_cost_quick`.

Options:
    --duration S   length of each measured window, default 60 s
    --settle S     time between the start of the daemon and its window, default 15 s (the
                   reconnection attempts to an absent peer have reached their longest interval)
    --fuse         leave the simulated board's FUSE files in place (see below)
    --quick        a smoke check: --duration 10 --settle 8

A wake-up is a voluntary context switch (voluntary_ctxt_switches of /proc/<pid>/task/*/status):
the thread went to sleep and something woke it. CPU time is each thread's run time as the
scheduler accounts it.

By default the board's files are plain files mounted over /sys/class (see daemon_costs.py):
each read or write of a FUSE file puts the thread to sleep until the board's process answers,
so on the simulated board the figures would count the simulation's round trips (seven per
battery check, two per LED tick) as the daemon's wake-ups. --fuse measures on the FUSE board
all the same.
"""

import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from quarn_e2e import LOG_FILE, DspManager, wait_until  # noqa: E402 (the helpers live beside the end-to-end tests)
from daemon_costs import board_name, parse_options, stop_daemon  # noqa: E402

TARGETS = {"present": 1.6, "absent": 2.0}
CPU_TARGET_MS_PER_MINUTE = 20.0
MIRRORS_READY = "Buffered data initialized by response IPC_MSG_GET_INSTRUMENT_CONFIG"


class Threads:
    """Voluntary context switches and CPU milliseconds of each thread of a process, by thread id.
    The CPU time comes from the scheduler's own account (se.sum_exec_runtime) where the kernel
    shows it; utime + stime count whole clock ticks of 10 ms, too coarse for a few ms a minute."""

    def __init__(self, pid):
        self.names, self.switches, self.cpu_ms = {}, {}, {}
        tick_ms = 1000.0 / os.sysconf("SC_CLK_TCK")
        for tid in os.listdir("/proc/%d/task" % pid):
            base = "/proc/%d/task/%s/" % (pid, tid)
            try:
                with open(base + "comm") as f:
                    name = f.read().strip()
                with open(base + "status") as f:
                    switches = int(re.search(r"^voluntary_ctxt_switches:\s+(\d+)", f.read(), re.M)[1])
                with open(base + "stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                cpu_ms = (int(fields[11]) + int(fields[12])) * tick_ms
                if os.path.exists(base + "sched"):
                    with open(base + "sched") as f:
                        runtime = re.search(r"^se\.sum_exec_runtime\s+:\s+([\d.]+)", f.read(), re.M)
                    cpu_ms = float(runtime[1]) if runtime else cpu_ms
            except (FileNotFoundError, ProcessLookupError):
                continue
            name = "main" if int(tid) == pid else name
            self.names[tid], self.switches[tid], self.cpu_ms[tid] = name, switches, cpu_ms


def measure(case, daemon_path, options):
    """Starts the daemon, lets it settle, and prints the figures of one window."""
    log_size = os.path.getsize(LOG_FILE) if os.path.exists(LOG_FILE) else 0
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    daemon = subprocess.Popen([daemon_path], cwd="/tmp", **quiet)
    try:
        if case == "present":
            def mirrored():
                with open(LOG_FILE, errors="replace") as f:
                    f.seek(log_size)
                    return MIRRORS_READY in f.read()

            wait_until(lambda: os.path.exists(LOG_FILE) and mirrored(), 10, "the daemon's mirrors", 0.2)
        time.sleep(options.settle)
        before = Threads(daemon.pid)
        started = time.monotonic()
        time.sleep(options.duration)
        after = Threads(daemon.pid)
        seconds = time.monotonic() - started
        if daemon.poll() is not None:
            sys.exit("idle_cost: the daemon ended during the window (exit %s)" % daemon.returncode)
    finally:
        stop_daemon(daemon)

    print("dsp-manager %s, %.1f s:" % (case, seconds))
    print("  %-22s %12s %14s" % ("thread", "wake-ups/s", "CPU ms/min"))
    total_wakes, total_ms = 0.0, 0.0
    for tid in sorted(after.names, key=int):
        wakes = (after.switches[tid] - before.switches.get(tid, 0)) / seconds
        cpu = (after.cpu_ms[tid] - before.cpu_ms.get(tid, 0.0)) * 60.0 / seconds
        total_wakes, total_ms = total_wakes + wakes, total_ms + cpu
        print("  %-22s %12.2f %14.1f" % ("%s (%s)" % (after.names[tid], tid), wakes, cpu))
    print("  %-22s %12.2f %14.1f   targets: %.1f wake-ups/s, %.0f ms/min" % (
        "total", total_wakes, total_ms, TARGETS[case], CPU_TARGET_MS_PER_MINUTE))
    return total_wakes <= TARGETS[case] and total_ms <= CPU_TARGET_MS_PER_MINUTE


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("daemon")
    parser.add_argument("quarn_bus")
    parser.add_argument("--duration", type=float, default=60.0)
    parser.add_argument("--settle", type=float, default=15.0)
    options = parse_options(parser, "idle_cost", duration=10.0, settle=8.0)

    print("idle_cost: %s idle, board on %s" % (os.path.basename(options.daemon), board_name(options)))
    dsp = DspManager(options.quarn_bus, "idle")
    try:
        within = measure("present", options.daemon, options)
    finally:
        dsp.stop()
    within = measure("absent", options.daemon, options) and within
    print("idle_cost: %s" % ("within the targets" if within else "OUTSIDE the targets"))


if __name__ == "__main__":
    main()
