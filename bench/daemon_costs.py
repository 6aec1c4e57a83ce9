"""What the daemon costs: CPU time, peak resident memory and the round trip of a battery request,
beside a plain libzmq echo measured in the same run.

Run it inside the sandbox, with the daemon binary as argument:

    scripts/sandbox --board-dir <build>/tools/boardsim -- \\
        /usr/bin/python3 bench/daemon_costs.py <build>/src/pwr-manager/pwr-manager [options]

or through CMake: `cmake --build <build> --target daemon_costs` (60 s) or `daemon_costs_quick`.

Options:
    --duration S   length of the request window, default 60 s
    --idle S       length of the quiet window before it, default 10 s (periodic checks only)
    --period MS    time between two requests of the same kind, default 50 ms
    --fuse         read the gauge on the simulated board's FUSE files (see below)
    --quick        a smoke check: --duration 4 --idle 2

The client speaks pyzmq as core-app: one battery request every period, each answered before the
next goes out. Half a period after each, it sends an 8-byte frame to an echo peer, a second
process with a PULL and a PUSH over ipc:// that answers with 96 bytes, the size of the daemon's
answer. Both round trips thus carry the same client overhead, and each starts after the same
pause (a round trip right after another would find the client's threads still running); the
difference is what the daemon adds (a battery reading through the board's files, the battery
event, the queued handling).

CPU time is utime + stime of the daemon from /proc/<pid>/stat; peak memory is VmHWM from
/proc/<pid>/status at the end. Target: a battery request's median round trip at most 1.3 times
the echo's.

By default the board's files are plain files with its starting values, bound over /sys/class
inside the sandbox: the kernel serves sysfs attributes from memory, as a plain file is served,
whereas every read of a FUSE file is a round trip to the board's process that costs more than
the whole echo (seven of them per battery reading). --fuse keeps the simulated board.
"""

import argparse
import math
import os
import signal
import struct
import subprocess
import sys
import time

import zmq

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from quarn_e2e import cpu_seconds  # noqa: E402 (the helpers live beside the end-to-end tests)

REQUESTS = "ipc:///tmp/quarn.requests.pwr-manager"
RESPONSES = "ipc:///tmp/quarn.responses.core-app-to-pwr-manager"
ECHO_REQUESTS = "ipc:///tmp/bench-echo.requests"
ECHO_RESPONSES = "ipc:///tmp/bench-echo.responses"
BATTERY_REQUEST = struct.pack("<ii", 20, 6)  # IPC_MSG_GET_BATTERY_STATUS from core-app
ANSWER_SIZE = 96
TIMEOUT_MS = 1000
ROUND_TRIP_TARGET = 1.3

ECHO_PEER = r"""
import sys, zmq
context = zmq.Context()
pull = context.socket(zmq.PULL)
pull.bind(sys.argv[1])
push = context.socket(zmq.PUSH)
push.bind(sys.argv[2])
answer = bytes(96)
print("ready", flush=True)
while True:
    frame = pull.recv()
    if frame == b"quit":
        break
    push.send(answer)
"""

# The board as it starts: external power, charging at 500 mA, 80 %.
GAUGE = {
    "present": "1", "status": "Charging", "capacity": "80", "type": "Battery",
    "current_now": "500000", "voltage_now": "4000000", "temp": "250",
}
GPIO_LINES = (2, 48, 49, 51, 143)
PWM_FILES = ("export", "polarity", "period_ns", "duty_ns", "run")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def plain_board():
    """Plain files with the board's starting values in place of the board: a directory of the
    sandbox's private /tmp bound over its /sys/class."""
    root = "/tmp/plain-board"
    for name, value in GAUGE.items():
        write("%s/power_supply/bq27425-0/%s" % (root, name), value + "\n")
    for name in ("export", "unexport"):
        write("%s/gpio/%s" % (root, name), "")
    for line in GPIO_LINES:
        for name, value in (("value", "1"), ("direction", "in"), ("active_low", "0"), ("edge", "none")):
            write("%s/gpio/gpio%d/%s" % (root, line, name), value + "\n")
    for name in PWM_FILES:
        write("%s/pwm/tmpa9xx-pwm:1/%s" % (root, name), "0\n")
    subprocess.run(["mount", "--bind", root, "/sys/class"], check=True)


def status_kb(pid, name):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(name + ":"):
                return int(line.split()[1])
    return -1


def connected_pull(context, address):
    """A PULL whose handshake with the binding side is done, so no answer is lost to it."""
    pull = context.socket(zmq.PULL)
    monitor = pull.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
    pull.connect(address)
    if not monitor.poll(10000):
        sys.exit("daemon_costs: no connection to " + address)
    monitor.recv_multipart()
    pull.disable_monitor()
    monitor.close(linger=0)
    time.sleep(0.1)
    return pull


def round_trip(push, pull, frame, size):
    """Milliseconds from send to answer, or None if no answer of the right size came in time."""
    start = time.perf_counter_ns()
    push.send(frame)
    if not pull.poll(TIMEOUT_MS):
        return None
    answer = pull.recv()
    elapsed = (time.perf_counter_ns() - start) / 1e6
    return elapsed if len(answer) == size else None


def parse_options(parser, bench, **quick):
    """Adds --fuse and --quick to the benchmark's parser and parses the command line; --quick sets
    the values given as `quick`. Without --fuse, puts the plain board in place."""
    parser.add_argument("--fuse", action="store_true")
    parser.add_argument("--quick", action="store_true")
    options = parser.parse_args()
    if options.quick:
        for name, value in quick.items():
            setattr(options, name, value)
    if not os.environ.get("BOARDSIM_SOCKET"):
        sys.exit("%s: run me inside scripts/sandbox (see the top of this file)" % bench)
    if not options.fuse:
        plain_board()
    return options


def board_name(options):
    return "the simulated board's FUSE files" if options.fuse else "plain files in place of the board's"


def stop_daemon(daemon):
    """Ends the daemon as its service would (SIGTERM), and for good if it does not go in 10 s."""
    if daemon.poll() is None:
        daemon.send_signal(signal.SIGTERM)
        try:
            daemon.wait(10)
        except subprocess.TimeoutExpired:
            daemon.kill()


def median(samples):
    got = sorted(s for s in samples if s is not None)
    return got[len(got) // 2] if got else math.nan


def summary(samples):
    got = sorted(s for s in samples if s is not None)
    lost = len(samples) - len(got)
    if not got:
        return "no answers (%d lost)" % lost
    p99 = got[max(0, math.ceil(0.99 * len(got)) - 1)]
    return "median %.3f ms, p99 %.3f ms, max %.3f ms (n=%d, lost %d)" % (got[len(got) // 2], p99, got[-1], len(got), lost)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("daemon")
    parser.add_argument("--duration", type=float, default=60.0)
    parser.add_argument("--idle", type=float, default=10.0)
    parser.add_argument("--period", type=float, default=50.0)
    options = parse_options(parser, "daemon_costs", duration=4.0, idle=2.0)

    echo_command = ["/usr/bin/python3", "-c", ECHO_PEER, ECHO_REQUESTS, ECHO_RESPONSES]
    echo = subprocess.Popen(echo_command, stdout=subprocess.PIPE, text=True)
    # The daemon as the product runs it, its console output discarded.
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    daemon = subprocess.Popen([options.daemon], cwd="/tmp", **quiet)
    context = zmq.Context()
    try:
        if echo.stdout.readline().strip() != "ready":
            sys.exit("daemon_costs: the echo peer did not start")
        sockets = []
        for requests, responses in ((REQUESTS, RESPONSES), (ECHO_REQUESTS, ECHO_RESPONSES)):
            pull = connected_pull(context, responses)
            push = context.socket(zmq.PUSH)
            push.setsockopt(zmq.SNDTIMEO, TIMEOUT_MS)
            push.connect(requests)
            sockets.append((push, pull))
        (daemon_push, daemon_pull), (echo_push, echo_pull) = sockets
        # The daemon is up once it answers.
        if round_trip(daemon_push, daemon_pull, BATTERY_REQUEST, ANSWER_SIZE) is None:
            sys.exit("daemon_costs: the daemon does not answer")

        start_cpu = cpu_seconds(daemon.pid)
        time.sleep(options.idle)
        idle_cpu = cpu_seconds(daemon.pid) - start_cpu

        daemon_trips, echo_trips = [], []
        period = options.period / 1000.0
        load_cpu_start = cpu_seconds(daemon.pid)
        started = time.monotonic()
        slot = started
        while slot - started < options.duration:
            for trips, push, pull, frame in ((daemon_trips, daemon_push, daemon_pull, BATTERY_REQUEST),
                                             (echo_trips, echo_push, echo_pull, b"\0" * 8)):
                trips.append(round_trip(push, pull, frame, ANSWER_SIZE))
                slot += period / 2
                pause = slot - time.monotonic()
                if pause > 0:
                    time.sleep(pause)
        load_seconds = time.monotonic() - started
        load_cpu = cpu_seconds(daemon.pid) - load_cpu_start
        peak_kb = status_kb(daemon.pid, "VmHWM")
        rss_kb = status_kb(daemon.pid, "VmRSS")
        echo_push.send(b"quit")

        print("daemon_costs: %s, gauge on %s" % (os.path.basename(options.daemon), board_name(options)))
        requests = len(daemon_trips)
        per_request = (load_cpu - idle_cpu / options.idle * load_seconds) / max(1, requests)
        print("  CPU, quiet %5.1f s: %.3f s (%.2f %% of a core), periodic checks and LED only" % (
            options.idle, idle_cpu, 100 * idle_cpu / options.idle))
        print("  CPU, load  %5.1f s: %.3f s (%.2f %% of a core), with %d battery requests" % (
            load_seconds, load_cpu, 100 * load_cpu / load_seconds, requests))
        print("  CPU per battery request (load minus the quiet rate): %.3f ms" % (1000 * per_request))
        print("  peak resident memory (VmHWM): %d kB (VmRSS now %d kB)" % (peak_kb, rss_kb))
        print("  battery request round trip:  " + summary(daemon_trips))
        print("  libzmq echo round trip:      " + summary(echo_trips))
        ratio = median(daemon_trips) / median(echo_trips)
        print("  median ratio battery request / echo: %.2f (target at most %.1f: %s)" % (
            ratio, ROUND_TRIP_TARGET, "met" if ratio <= ROUND_TRIP_TARGET else "NOT met"))
    finally:
        stop_daemon(daemon)
        if echo.poll() is None:
            try:
                echo.wait(2)
            except subprocess.TimeoutExpired:
                echo.kill()
        context.destroy(linger=0)


if __name__ == "__main__":
    main()
