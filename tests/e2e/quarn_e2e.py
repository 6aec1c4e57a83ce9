# Helpers of the end-to-end tests, which run inside scripts/sandbox. The board is driven with
# boardsim-ctl; the bus is spoken with pyzmq, so that the daemon's own IPC code does not test
# itself. Every wait is bounded and names what it awaited.

import ast
import collections
import os
import re
import struct
import subprocess
import sys
import threading
import time
import unittest

import zmq

# Set by scripts/sandbox; a test of scripts/run itself runs outside and uses the generic helpers.
CTL = os.environ.get("BOARDSIM_CTL")
SHUTDOWN_LOG = os.environ.get("SANDBOX_SHUTDOWN_LOG")
SHUTDOWN_STATUS = os.environ.get("SANDBOX_SHUTDOWN_STATUS")
STATE_DIR = os.environ.get("SANDBOX_STATE", "/tmp")
SYS = os.environ.get("BOARDSIM_MOUNT", "/sys/class")
GPIO = SYS + "/gpio/"
PWM = SYS + "/pwm/tmpa9xx-pwm:1/"
LOG_FILE = "/var/lib/quarn/log/pwr-manager.log"

# The daemon's real endpoint names: /tmp is private to the sandbox.
EVENTS = "ipc:///tmp/quarn.events.pwr-manager"
REQUESTS = "ipc:///tmp/quarn.requests.pwr-manager"
ORIGINS = {"core-app": 6, "com-manager-remote": 10}
RESPONSES = {client: "ipc:///tmp/quarn.responses.%s-to-pwr-manager" % client for client in ORIGINS}
GET_BATTERY, DO_POWER_DOWN, BATTERY_LOW, POWER_DOWN, WANT_POWER_DOWN, BATTERY_EVENT = 20, 43, 56, 57, 58, 59
HEADER = struct.Struct("<ii")
BATTERY = struct.Struct("<??32s2xi32siiii")
Reading = collections.namedtuple("Reading", "present external status capacity type current voltage temp charge")


def run_tests(*paths):
    # The script's leading arguments are the named paths (DaemonTest.pwr_manager, .quarn_bus).
    for name in paths:
        setattr(DaemonTest, name, sys.argv.pop(1))
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)


def wait_until(condition, timeout, what, step=0.02):
    deadline = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(step)
    return result


def check_period(times, what, period=2.0, tolerance=0.1):
    intervals = [round(b - a, 3) for a, b in zip(times, times[1:])]
    bad = [i for i in intervals if abs(i - period) > tolerance]
    assert intervals and not bad, "%s: intervals off %.1f s by more than %.1f s: %s" % (what, period, tolerance, intervals)


def check_drift(times, what, period, tolerance=0.020):
    # The times keep their period: the line through them (the median slope over all pairs, which
    # a few late stamps on a loaded machine do not move) strays at most `tolerance` from the period
    # over their whole span.
    pairs = [(times[j] - times[i]) / (j - i) for i in range(len(times)) for j in range(i + 1, len(times))]
    slope = sorted(pairs)[len(pairs) // 2]
    drift = (slope - period) * (len(times) - 1)
    assert abs(drift) <= tolerance, "%s: %d periods of %.5f s drift %+.3f s" % (what, len(times) - 1, slope, drift)


# ---------------------------------------------------------------- the board


def ctl(*words):
    return subprocess.run([CTL, *words], check=True, capture_output=True, text=True, timeout=10).stdout


def trace(prefix=""):
    # The board's trace as (epoch seconds, path, bytes, result) for the paths that start with
    # `prefix`, where a device request's path reads "<path> ioctl 0x<code>"; the bytes are quoted
    # as a C literal, which reads the same as a Python bytes literal.
    entries = []
    for line in ctl("trace").splitlines():
        stamp, rest = line.split(" ", 1)
        rest, result = rest.rsplit(" ", 1)
        path, quoted = rest.split(' "', 1)
        entries.append((float(stamp), path, ast.literal_eval('b"' + quoted), result))
    return [entry for entry in entries if entry[1].startswith(prefix)]


def reset_board():
    # As the board starts: gauge present, external power (charging at 500 mA), 80 %.
    for words in (("release",), ("gauge", "present"), ("external-power", "on"), ("set", "capacity", "80")):
        ctl(*words)
    ctl("trace-clear")


def shutdown_calls(times=False):
    # The commands recorded in place of /sbin/shutdown, in this sandbox so far; with times, as
    # (epoch seconds, command).
    with open(SHUTDOWN_LOG) as f:
        calls = [line.split(" ", 1) for line in f.read().splitlines() if line.strip()]
    return [(float(stamp), command) if times else command for stamp, command in calls]


def cpu_seconds(pid):
    # utime + stime of the process: fields 14 and 15 of the line, counted from field 3 (the state).
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


# ---------------------------------------------------------------- the bus


class Frame:
    def __init__(self, seq, source, raw):
        self.seq, self.source, self.raw = seq, source, raw  # seq: its index among all frames
        self.mono, self.wall = time.monotonic(), time.time()
        self.msg = HEADER.unpack_from(raw)[0] if len(raw) >= 8 else None
        self.payload = raw[8:]

    def battery(self):
        f = BATTERY.unpack(self.payload)
        return Reading(f[0], f[1], f[2].rstrip(b"\0").decode(), f[3], f[4].rstrip(b"\0").decode(), *f[5:])


class Bus:
    # Events and response channels, received by one thread that stamps each frame on arrival.
    # Made before the daemon starts (ZeroMQ reconnects every 100 ms), it misses no event.

    def __init__(self, responses=()):
        self.context = zmq.Context()
        self.frames, self.handshakes, self.stopping, self.push = [], set(), False, None
        self.cond = threading.Condition()
        self.sockets, self.monitors = {}, {}
        for name in ("events",) + tuple(responses):
            sock = self.context.socket(zmq.SUB if name == "events" else zmq.PULL)
            if name == "events":
                sock.setsockopt(zmq.SUBSCRIBE, b"")
                sock.setsockopt(zmq.RCVHWM, 0)
            self.monitors[sock.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)] = name
            sock.connect(EVENTS if name == "events" else RESPONSES[name])
            self.sockets[sock] = name
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        poller = zmq.Poller()
        for sock in list(self.sockets) + list(self.monitors):
            poller.register(sock, zmq.POLLIN)
        while not self.stopping:
            ready = dict(poller.poll(50))
            # Events first: an event waiting beside a response was sent before it or with it.
            for sock in sorted(ready, key=lambda s: self.sockets.get(s) != "events"):
                with self.cond:
                    if sock in self.monitors:
                        sock.recv_multipart()
                        self.handshakes.add(self.monitors[sock])
                    while sock in self.sockets and sock.poll(0):
                        self.frames.append(Frame(len(self.frames), self.sockets[sock], sock.recv()))
                    self.cond.notify_all()

    def close(self):
        self.stopping = True
        self.thread.join(5)
        self.context.destroy(linger=0)

    def wait_connected(self, timeout=10.0):
        # Every channel through its handshake: a response channel not attached yet loses the
        # answers. The pause lets the daemon's end attach the pipe the handshake completes.
        with self.cond:
            if not self.cond.wait_for(lambda: set(self.sockets.values()) <= self.handshakes, timeout):
                raise AssertionError("no handshake with the daemon on every channel")
        time.sleep(0.1)

    def mark(self):
        with self.cond:
            return len(self.frames)

    def since(self, mark=0, source="events", msg=None):
        with self.cond:
            return [f for f in self.frames[mark:] if f.source == source and msg in (None, f.msg)]

    def wait_frames(self, count, timeout, what, mark=0, source="events", msg=None):
        # The first `count` frames from `mark` on that match.
        def found():
            hits = self.since(mark, source, msg)
            return hits[:count] if len(hits) >= count else None

        with self.cond:
            if not self.cond.wait_for(found, timeout):
                raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
            return found()

    def wait_frame(self, timeout, what, mark=0, source="events", msg=None):
        return self.wait_frames(1, timeout, what, mark, source, msg)[0]

    def request(self, msg, client="core-app", frame=None):
        if self.push is None:
            self.push = self.context.socket(zmq.PUSH)  # blocking sends, bounded: no frame is lost
            self.push.setsockopt(zmq.SNDTIMEO, 10000)
            self.push.connect(REQUESTS)
        try:
            self.push.send(HEADER.pack(msg, ORIGINS[client]) if frame is None else frame)
        except zmq.Again:
            raise AssertionError("the daemon took no request frame within 10 s")


# ---------------------------------------------------------------- the processes

LOG_LINE = re.compile(r"^(\w+) P:(\d+) T:\d+ \[[^\]]*\] (\S+) \S+ \[[\d.]+ sec\] - (.*)$")
LogLine = collections.namedtuple("LogLine", "level pid logger message")


class Daemon:
    # The daemon binary as a child; its console output is kept in the state directory.

    runs = 0

    def __init__(self, path, arguments=()):
        Daemon.runs += 1
        # The file appender commits in batches; a short period lets the tests read lines soon.
        env = dict(os.environ, LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC="20")
        self.console = open(os.path.join(STATE_DIR, "pwr-manager-%d.out" % Daemon.runs), "wb")
        self.process = subprocess.Popen(
            [path, *arguments], stdout=self.console, stderr=subprocess.STDOUT, cwd="/tmp", env=env
        )

    def alive(self):
        return self.process.poll() is None

    def stop_cleanly(self, number=15):
        # The signal ends the daemon within a second, with exit code 1 and the one exit line.
        assert self.alive(), "the daemon ended before signal %d (exit %s)" % (number, self.process.returncode)
        sent = time.monotonic()
        self.process.send_signal(number)
        try:
            self.process.wait(10)
        finally:
            self.kill()
        took = time.monotonic() - sent
        assert self.process.returncode == 1 and took < 1.0, "exit %s %.2f s after signal %d" % (
            self.process.returncode, took, number)
        exits = [(line.level, line.logger) for line in self.log() if line.message == "Exiting application normally."]
        assert exits == [("INFO", "exit_logger")], "exit lines: %s" % exits

    def kill(self):
        if self.alive():
            self.process.kill()
            self.process.wait(5)
        self.console.close()

    def log(self):
        lines = []
        for path in (LOG_FILE + ".1", LOG_FILE):
            if os.path.exists(path):
                with open(path, errors="replace") as f:
                    lines += [LogLine(m[1], int(m[2]), m[3], m[4]) for m in map(LOG_LINE.match, f.read().splitlines()) if m]
        return [line for line in lines if line.pid == self.process.pid]

    def messages(self, pattern=""):
        return [line.message for line in self.log() if re.search(pattern, line.message)]

    def wait_log(self, pattern, timeout):
        # A log line whose message matches the regular expression.
        wait_until(lambda: self.messages(pattern) or not self.alive(), timeout, "a log line matching %r" % pattern, 0.05)
        assert self.messages(pattern), "the daemon ended (exit %s) waiting for %r" % (self.process.returncode, pattern)


class DspManager:
    # quarn-bus playing the dsp-manager: control lines to its input, its output lines collected.

    def __init__(self, quarn_bus, session="idle", power_button_flag=0):
        command = [quarn_bus, "dsp-manager", "--session", session, "--power-button-flag", str(power_button_flag)]
        self.process = subprocess.Popen(
            command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True
        )
        self.lines, self.cond = [], threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.wait_line(r" ready: ", 10)

    def _read(self):
        for line in self.process.stdout:
            with self.cond:
                self.lines.append(line.rstrip("\n"))
                self.cond.notify_all()

    def wait_line(self, pattern, timeout):
        with self.cond:
            if not self.cond.wait_for(lambda: any(re.search(pattern, line) for line in self.lines), timeout):
                raise AssertionError("the dsp-manager said no %r; it said:\n%s" % (pattern, "\n".join(self.lines)))

    def control(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def stop(self):
        try:
            self.control("quit")
            self.process.wait(5)
        except (BrokenPipeError, subprocess.TimeoutExpired):
            self.process.kill()
        self.reader.join(5)
        self.process.stdout.close()
        self.process.wait(5)


# ---------------------------------------------------------------- the fixture


class DaemonTest(unittest.TestCase):
    # The board as it starts; start() brings up quarn-bus as the dsp-manager (with a session),
    # a reader of the bus made before the daemon, and the daemon; all of them end with the test.

    pwr_manager = quarn_bus = None

    def setUp(self):
        # The sandbox's own /tmp, /run and state folder, and the board: nothing of the host's.
        with open("/proc/mounts") as f:
            mounts = {fields[1]: fields[2] for fields in (line.split() for line in f)}
        self.assertEqual(["tmpfs"] * 3 + ["fuse.boardsim"], [mounts.get(m) for m in ("/tmp", "/run", "/var/lib/quarn", SYS)])
        reset_board()
        self.calls = len(shutdown_calls())

    def start(self, *arguments, responses=(), session=None, power_button_flag=0):
        if session:
            self.dsp = DspManager(self.quarn_bus, session, power_button_flag)
            self.addCleanup(self.dsp.stop)
        self.bus = Bus(responses)
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(self.pwr_manager, arguments)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        # Both mirrors hold the dsp-manager's values before anything happens.
        for request in ("IPC_MSG_GET_LOGGING_SESSION_STATUS", "IPC_MSG_GET_INSTRUMENT_CONFIG") if session else ():
            self.daemon.wait_log(r"^Buffered data initialized by response %s\.$" % request, 5)

    def new_calls(self, times=False):
        return shutdown_calls(times)[self.calls :]

    def press(self, release=True):
        # Held until the daemon accepts it, so that a slow confirmation still sees it down.
        ctl("press")
        self.daemon.wait_log(r"^Power button was pressed!$", 3)
        if release:
            ctl("release")

    def wait_shutdown(self):
        # The power-down event (57 from the pwr-manager server, 3), then the one shutdown command.
        self.assertEqual(bytes.fromhex("39000000" "03000000"), self.bus.wait_frame(3, "the power-down", msg=POWER_DOWN).raw)
        wait_until(self.new_calls, 3, "the shutdown command")
        self.assertEqual(["/sbin/shutdown -h"], self.new_calls())
