"""Helpers of the end-to-end tests, which run inside scripts/sandbox.

The board is driven with boardsim-ctl. The bus is spoken with pyzmq directly, so that these tests
do not depend on the IPC code of the daemon under test; quarn-bus is used only to play the
dsp-manager, whose logging session travels in a QDataStream form.

Every wait is bounded: a condition that does not come true within its time fails the test with
a message saying what was awaited.
"""

import os
import re
import signal
import struct
import subprocess
import sys
import threading
import time
import unittest

import zmq

CTL = os.environ["BOARDSIM_CTL"]
SHUTDOWN_LOG = os.environ["SANDBOX_SHUTDOWN_LOG"]
STATE_DIR = os.environ.get("SANDBOX_STATE", "/tmp")
SYS = os.environ.get("BOARDSIM_MOUNT", "/sys/class")
GPIO = SYS + "/gpio/"
PWM = SYS + "/pwm/tmpa9xx-pwm:1/"
LED1_VALUE = GPIO + "gpio49/value"
LED2_VALUE = GPIO + "gpio143/value"

LOG_FILE = "/var/lib/quarn/log/pwr-manager.log"
VERSION_FILE = "/var/lib/quarn/versions/pwr-manager.info"

# The daemon's endpoints, under their real names: /tmp is private to the sandbox.
EVENTS = "ipc:///tmp/quarn.events.pwr-manager"
REQUESTS = "ipc:///tmp/quarn.requests.pwr-manager"
RESPONSES = {
    "core-app": "ipc:///tmp/quarn.responses.core-app-to-pwr-manager",
    "com-manager-remote": "ipc:///tmp/quarn.responses.com-manager-remote-to-pwr-manager",
}
ORIGINS = {"core-app": 6, "com-manager-remote": 10}

MSG_GET_BATTERY_STATUS = 20
MSG_DO_POWER_DOWN = 43
MSG_EVENT_BATTERY_LOW = 56
MSG_EVENT_POWER_DOWN = 57
MSG_EVENT_WANT_POWER_DOWN = 58
MSG_EVENT_BATTERY_STATUS_CHANGED = 59

HEADER = struct.Struct("<ii")
BATTERY = struct.Struct("<??32s2xi32siiii")
assert BATTERY.size == 88

BATTERY_PERIOD = 2.0
PERIOD_TOLERANCE = 0.1


def run_tests():
    """unittest.main with the exit status ctest expects."""
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)


def wait_until(condition, timeout, what, step=0.02):
    """Polls condition() until it gives something true and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(step)


# ---------------------------------------------------------------- the board

TRACE_LINE = re.compile(r'^(\d+\.\d{6}) (\S+) (".*") (\S+)$')


def ctl(*words):
    return subprocess.run([CTL, *words], check=True, capture_output=True, text=True, timeout=10).stdout


def unquote(text):
    assert text[0] == '"' and text[-1] == '"', text
    out = bytearray()
    i = 1
    while i < len(text) - 1:
        c = text[i]
        if c != "\\":
            out += c.encode()
            i += 1
            continue
        code = text[i + 1]
        if code == "x":
            out.append(int(text[i + 2 : i + 4], 16))
            i += 4
        else:
            out += {"n": b"\n", "t": b"\t", "\\": b"\\", '"': b'"'}[code]
            i += 2
    return bytes(out)


def timed_trace():
    """The write trace as (epoch seconds, path, bytes, result) tuples, in order."""
    entries = []
    for line in ctl("trace").splitlines():
        match = TRACE_LINE.match(line)
        assert match, "unreadable trace line: " + line
        entries.append((float(match.group(1)), match.group(2), unquote(match.group(3)), match.group(4)))
    return entries


def trace():
    """The write trace as (path, bytes, result) tuples, in order."""
    return [entry[1:] for entry in timed_trace()]


def board_battery():
    """What the board serves: attribute name -> text (None for an absent attribute); {} without
    the gauge."""
    text = ctl("get", "battery")
    if text.strip() == "gauge absent":
        return {}
    values = {}
    for line in text.splitlines():
        if line.endswith(" absent"):
            values[line[: -len(" absent")]] = None
        else:
            name, quoted = line.split("=", 1)
            values[name] = unquote(quoted).decode()
    return values


def reset_board():
    """The board as it starts: gauge present, external power (charging at 500 mA), 80 %."""
    ctl("release")
    ctl("gauge", "present")
    ctl("discharge", "0")
    ctl("external-power", "on")
    for name, value in (
        ("present", "1"),
        ("capacity", "80"),
        ("type", "Battery"),
        ("voltage_now", "4000000"),
        ("temp", "250"),
    ):
        ctl("set", name, value)
    ctl("trace-clear")


def led_ticks(after):
    """The LED writes after the epoch time `after` as (time, led1, led2), one per tick: every
    pattern writes LED 1 first and LED 2 second."""
    ticks = []
    led1 = None
    for stamp, path, data, result in timed_trace():
        if stamp <= after or result != "ok":
            continue
        if path == LED1_VALUE:
            led1 = (stamp, int(data))
        elif path == LED2_VALUE and led1 is not None:
            ticks.append((led1[0], led1[1], int(data)))
            led1 = None
    return ticks


def shutdown_calls(since=0):
    """The calls of /sbin/shutdown recorded in this sandbox from the `since`-th on (the record is
    shared by every daemon run of one sandbox)."""
    with open(SHUTDOWN_LOG) as f:
        return [line for line in f.read().splitlines() if line.strip()][since:]


# ---------------------------------------------------------------- frames


class Frame:
    """One frame received from the daemon, stamped on arrival."""

    def __init__(self, seq, source, raw):
        self.seq = seq  # its index among every frame the Bus received
        self.mono = time.monotonic()
        self.wall = time.time()
        self.source = source  # "events" or the client whose response channel it came on
        self.raw = raw
        if len(raw) >= HEADER.size:
            self.msg, self.origin = HEADER.unpack_from(raw)
        else:
            self.msg = self.origin = None
        self.payload = raw[HEADER.size :]

    def battery(self):
        return decode_battery(self.payload)

    def __repr__(self):
        return "Frame(%s, msg=%s, origin=%s, %d bytes)" % (self.source, self.msg, self.origin, len(self.raw))


def decode_battery(payload):
    assert len(payload) == BATTERY.size, "battery record of %d bytes" % len(payload)
    present, external, status, capacity, kind, current, voltage, temperature, charge = BATTERY.unpack(payload)
    # The padding and the text tails are part of the record's contract: zero.
    assert payload[34:36] == b"\0\0", payload[34:36]
    for name, field in (("status", status), ("type", kind)):
        tail = field.partition(b"\0")[2]
        assert tail.strip(b"\0") == b"", "%s not zero after its end: %r" % (name, field)
    return {
        "present": payload[0],
        "externalPower": payload[1],
        "status": status.split(b"\0", 1)[0].decode(),
        "capacity": capacity,
        "type": kind.split(b"\0", 1)[0].decode(),
        "current_now": current,
        "voltage": voltage,
        "temperature": temperature,
        "chargeState": charge,
    }


def request_frame(msg, origin, payload=b""):
    return HEADER.pack(msg, origin) + payload


# ---------------------------------------------------------------- the bus


class Bus:
    """Listens to the daemon's events and to response channels, from one background thread that
    stamps every frame on arrival; sends requests from the caller's thread.

    Create it before the daemon starts: the connections then come up as soon as the daemon binds
    (ZeroMQ retries every 100 ms), and no event is missed."""

    def __init__(self, responses=("core-app", "com-manager-remote")):
        self.context = zmq.Context()
        self.frames = []
        self.handshakes = set()
        self.cond = threading.Condition()
        self.stopping = False
        self.sockets = {}
        self.monitors = {}
        sub = self.context.socket(zmq.SUB)
        sub.setsockopt(zmq.SUBSCRIBE, b"")
        sub.setsockopt(zmq.RCVHWM, 0)
        self.monitors["events"] = sub.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
        sub.connect(EVENTS)
        self.sockets["events"] = sub
        for client in responses:
            pull = self.context.socket(zmq.PULL)
            self.monitors[client] = pull.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
            pull.connect(RESPONSES[client])
            self.sockets[client] = pull
        self.push = None
        # The sockets are used by the thread alone from here on.
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        poller = zmq.Poller()
        names = {}
        for name, sock in self.sockets.items():
            poller.register(sock, zmq.POLLIN)
            names[sock] = name
        monitors = {}
        for name, sock in self.monitors.items():
            poller.register(sock, zmq.POLLIN)
            monitors[sock] = name
        while not self.stopping:
            ready = dict(poller.poll(50))
            # Events first: when an event and a response are both waiting, the event was sent
            # first or at the same moment.
            for sock in sorted(ready, key=lambda s: names.get(s) != "events"):
                if sock in monitors:
                    sock.recv_multipart()
                    with self.cond:
                        self.handshakes.add(monitors[sock])
                        self.cond.notify_all()
                    continue
                while True:
                    try:
                        raw = sock.recv(zmq.NOBLOCK)
                    except zmq.Again:
                        break
                    with self.cond:
                        self.frames.append(Frame(len(self.frames), names[sock], raw))
                        self.cond.notify_all()

    def close(self):
        self.stopping = True
        self.thread.join(5)
        for sock in list(self.sockets.values()) + list(self.monitors.values()):
            sock.close(linger=0)
        if self.push is not None:
            self.push.close(linger=0)
        self.context.term()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def wait_connected(self, timeout=10.0):
        """Until every channel has finished its handshake with the daemon. A response channel
        that is not attached yet loses the responses, so this comes before the first request;
        the short pause lets the daemon's end attach the pipe that its handshake completes."""
        wanted = set(self.sockets)
        with self.cond:
            if not self.cond.wait_for(lambda: wanted <= self.handshakes, timeout):
                missing = sorted(wanted - self.handshakes)
                raise AssertionError("no handshake with the daemon on %s within %.0f s" % (missing, timeout))
        time.sleep(0.1)

    def mark(self):
        with self.cond:
            return len(self.frames)

    def since(self, mark=0, source=None, msg=None):
        with self.cond:
            frames = self.frames[mark:]
        return [f for f in frames if (source is None or f.source == source) and (msg is None or f.msg == msg)]

    def events(self, mark=0, msg=None):
        return self.since(mark, "events", msg)

    def wait_frames(self, count, timeout, what, mark=0, source="events", msg=None, where=None):
        """Until `count` frames that match have arrived from `mark` on; returns the first
        `count`."""
        found = []
        scanned = [mark]

        def enough():
            for frame in self.frames[scanned[0] :]:
                if (source is None or frame.source == source) and (msg is None or frame.msg == msg):
                    if where is None or where(frame):
                        found.append(frame)
            scanned[0] = max(scanned[0], len(self.frames))
            return len(found) >= count

        with self.cond:
            if not self.cond.wait_for(enough, timeout):
                got = "%d of %d frames" % (len(found), count)
                raise AssertionError("timed out after %.1f s waiting for %s (%s)" % (timeout, what, got))
        return found[:count]

    def wait_frame(self, timeout, what, mark=0, source="events", msg=None, where=None):
        return self.wait_frames(1, timeout, what, mark, source, msg, where)[0]

    def wait_battery(self, timeout, what, mark=0, where=None):
        return self.wait_frame(timeout, what, mark, "events", MSG_EVENT_BATTERY_STATUS_CHANGED, where)

    def send(self, frame):
        if self.push is None:
            self.push = self.context.socket(zmq.PUSH)
            self.push.setsockopt(zmq.SNDTIMEO, 5000)
            self.push.connect(REQUESTS)
        try:
            self.push.send(frame)
        except zmq.Again:
            raise AssertionError("the daemon took no request frame within 5 s")

    def request(self, msg, client="core-app", payload=b""):
        self.send(request_frame(msg, ORIGINS[client], payload))


def connect_responses(context, client, timeout=10.0):
    """A PULL on the client's response channel, returned once its handshake with the daemon is
    done (and a moment more, for the daemon's end to attach it)."""
    pull = context.socket(zmq.PULL)
    monitor = pull.get_monitor_socket(zmq.EVENT_HANDSHAKE_SUCCEEDED)
    try:
        pull.connect(RESPONSES[client])
        if not monitor.poll(int(timeout * 1000)):
            pull.close(linger=0)
            raise AssertionError("no handshake with the daemon on the %s response channel" % client)
        monitor.recv_multipart()
    finally:
        pull.disable_monitor()
        monitor.close(linger=0)
    time.sleep(0.1)
    return pull


def check_period(times, what, period=BATTERY_PERIOD, tolerance=PERIOD_TOLERANCE):
    """Every interval between consecutive stamps is the period within the tolerance."""
    intervals = [round(b - a, 3) for a, b in zip(times, times[1:])]
    assert intervals, "no interval to measure for " + what
    bad = [i for i in intervals if abs(i - period) > tolerance]
    assert not bad, "%s: intervals off %.3f s by more than %.3f s: %s (all: %s)" % (
        what,
        period,
        tolerance,
        bad,
        intervals,
    )
    return intervals


def periodic_battery_events(bus, mark=0):
    """The battery events of the periodic check, told apart from those of requests on a board
    set to a low battery: there the check alone follows its battery event at once with
    IPC_MSG_EVENT_BATTERY_LOW, while a request's reading publishes the battery event only."""
    frames = bus.events(mark)
    return [
        previous
        for previous, frame in zip(frames, frames[1:])
        if frame.msg == MSG_EVENT_BATTERY_LOW and previous.msg == MSG_EVENT_BATTERY_STATUS_CHANGED
    ]


# ---------------------------------------------------------------- the daemon

LOG_LINE = re.compile(
    r"^(TRACE|DEBUG|INFO|WARN|ERROR|FATAL) P:(\d+) T:\d+ \[[^\]]*\] (\S+) (\S+) "
    r"\[(\d+\.\d{6}) sec\] - (.*)$"
)


class LogLine:
    def __init__(self, match):
        self.level = match.group(1)
        self.pid = int(match.group(2))
        self.logger = match.group(3)
        self.seconds = float(match.group(5))
        self.message = match.group(6)

    def __repr__(self):
        return "%s %s [%.6f] %s" % (self.level, self.logger, self.seconds, self.message)


def read_log():
    """Every log line of every daemon run in this sandbox, the rolled-over file first."""
    lines = []
    for path in (LOG_FILE + ".1", LOG_FILE):
        try:
            with open(path, errors="replace") as f:
                for text in f:
                    match = LOG_LINE.match(text.rstrip("\n"))
                    if match:
                        lines.append(LogLine(match))
        except FileNotFoundError:
            pass
    return lines


class Daemon:
    """The daemon binary as a child process. Its console output goes to a file in the sandbox's
    state directory, for a look after a failure."""

    runs = 0

    def __init__(self, path, arguments=(), env=None):
        Daemon.runs += 1
        environment = dict(os.environ)
        # The file appender commits in batches; a short period lets the tests read lines soon.
        environment["LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC"] = "20"
        environment.update(env or {})
        self.console = open(os.path.join(STATE_DIR, "pwr-manager-%d.out" % Daemon.runs), "wb")
        self.process = subprocess.Popen(
            [path, *arguments], stdout=self.console, stderr=subprocess.STDOUT, cwd="/tmp", env=environment
        )
        self.pid = self.process.pid

    def alive(self):
        return self.process.poll() is None

    def stop(self, number=signal.SIGTERM, timeout=10.0):
        """Sends the signal and returns the exit code; a daemon that does not end is killed and
        the test fails."""
        if self.process.poll() is None:
            self.process.send_signal(number)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
                raise AssertionError("the daemon did not end within %.0f s of signal %d" % (timeout, number))
        self.console.close()
        return self.process.returncode

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)
        self.console.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def log(self, level=None, logger=None):
        return [
            line
            for line in read_log()
            if line.pid == self.pid
            and (level is None or line.level == level)
            and (logger is None or line.logger == logger)
        ]

    def messages(self, pattern=None):
        """The messages of this run, optionally only those matching a regular expression."""
        found = [line.message for line in self.log()]
        return found if pattern is None else [m for m in found if re.search(pattern, m)]

    def wait_log(self, pattern, timeout, count=1):
        """Until the log holds `count` messages matching the regular expression; returns the
        matching lines."""

        def matching():
            lines = [line for line in self.log() if re.search(pattern, line.message)]
            return lines if len(lines) >= count else None

        try:
            return wait_until(matching, timeout, "%d log line(s) matching %r" % (count, pattern), 0.05)
        except AssertionError:
            if not self.alive():
                raise AssertionError(
                    "the daemon ended (exit %s) while waiting for %r" % (self.process.returncode, pattern)
                )
            raise


class DspManager:
    """quarn-bus playing the dsp-manager. Control lines go to its standard input; its output lines
    are collected by a reader thread."""

    def __init__(self, quarn_bus, session="idle", power_button_flag=0):
        self.process = subprocess.Popen(
            [quarn_bus, "dsp-manager", "--session", session, "--power-button-flag", str(power_button_flag)],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            text=True,
        )
        self.lines = []
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.wait_line(r" ready: ", 10, "the dsp-manager to bind")

    def _read(self):
        for line in self.process.stdout:
            with self.cond:
                self.lines.append(line.rstrip("\n"))
                self.cond.notify_all()

    def matching(self, pattern):
        with self.cond:
            return [line for line in self.lines if re.search(pattern, line)]

    def wait_line(self, pattern, timeout, what):
        with self.cond:
            if not self.cond.wait_for(lambda: any(re.search(pattern, line) for line in self.lines), timeout):
                said = "\n  ".join(self.lines[-20:])
                raise AssertionError("no %s within %.0f s; it said:\n  %s" % (what, timeout, said))
        return self.matching(pattern)[0]

    def control(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def stop(self):
        if self.process.poll() is None:
            try:
                self.control("quit")
                self.process.wait(5)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait(5)
        self.reader.join(5)
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except BrokenPipeError:
                pass
