"""The part of scripts/run that runs inside its sandbox: the daemon, a stand-in for the
dsp-manager and a bus monitor on the simulated board, each logging into the run folder. The
terminal shows the board and the bus on one screen redrawn in place, with the commands that work
from another terminal; with --record, a scripted scenario plays instead and its timeline is drawn
into a PNG (timeline.py)."""

import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

REFRESH_SECONDS = 0.25
BUS_EVENTS_SHOWN = 6
# A message of the daemon's log lines: what follows "[<seconds> sec] - ".
LOG_MESSAGE = re.compile(r"^(\w+) P:\d+ .*? \[\d+\.\d{6} sec\] - (.*)$")
# A frame as quarn-bus prints it.
BUS_LINE = re.compile(r"^(\d\d:\d\d:\d\d\.\d{3}) IPC_MSG_(?:EVENT_)?(\w+) \(\d+\) from \S+ \(\d+\), \d+ bytes(?:: (.*))?$")
FIELD = re.compile(r'(\w+)=("[^"]*"|\S+)')


def fields(text):
    return {name: value.strip('"') for name, value in FIELD.findall(text or "")}


class Board:
    """The board's control socket: one command line, one answer."""

    def __init__(self, path):
        self.path = path

    def __call__(self, *words):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            connection.settimeout(5)
            connection.connect(self.path)
            connection.sendall((" ".join(words) + "\n").encode())
            connection.shutdown(socket.SHUT_WR)
            answer = b""
            while chunk := connection.recv(65536):
                answer += chunk
        text = answer.decode(errors="replace")
        if text.startswith("error: "):
            raise RuntimeError("boardsim-ctl %s: %s" % (" ".join(words), text.strip()))
        return text

    def values(self, *words):
        """An answer of name=value pairs, on one line or one per line."""
        return fields(self(*words).replace("\n", " "))


class Follower:
    """The lines a log file gained since the last look."""

    def __init__(self, path):
        self.path, self.offset, self.rest = path, 0, ""

    def new_lines(self):
        try:
            with open(self.path, errors="replace") as f:
                if os.fstat(f.fileno()).st_size < self.offset:  # rolled over
                    self.offset = 0
                f.seek(self.offset)
                text = self.rest + f.read()
                self.offset = f.tell()
        except FileNotFoundError:
            return []
        lines = text.split("\n")
        self.rest = lines.pop()
        return lines


class Child:
    """A process of the run, its output into its log file."""

    def __init__(self, name, command, log, env=None):
        self.name, self.log, self.reported = name, log, False
        with open(log, "ab") as output:
            self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=output,
                                            stderr=subprocess.STDOUT, env=env)

    def exit_code(self):
        return self.process.poll()

    def stop(self, seconds=5.0):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


class Run:
    """What the screen and the scenario know of the run, kept current by update()."""

    def __init__(self, options):
        self.options = options
        self.folder = options.run_dir
        self.board = Board(os.path.join(self.folder, "boardsim.sock"))
        self.logs = {name: Follower(os.path.join(self.folder, name))
                     for name in ("pwr-manager.log", "bus.log", "dsp-manager.log", "boardsim.log", "shutdown.log")}
        self.threshold, self.threshold_reason, self.last_warning = None, None, None
        self.bus_events, self.reading, self.session = [], {}, "(the stand-in is not ready yet)"
        self.shutdowns, self.problems = [], []
        self.children = []

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self, name, command, log, env=None):
        child = Child(name, command, self.path(log), env)
        self.children.append(child)
        return child

    def update(self):
        for line in self.logs["pwr-manager.log"].new_lines():
            self.read_daemon_line(line)
        for line in self.logs["bus.log"].new_lines():
            self.read_bus_line(line)
        for line in self.logs["dsp-manager.log"].new_lines():
            if match := re.search(r"SESSION_STATE_(\w+)", line):
                self.session = match[1].lower()
            if line.startswith("quarn-bus: "):
                self.problem("dsp-manager stand-in: " + line)
        for line in self.logs["boardsim.log"].new_lines():
            if line.startswith("boardsim: ") and not line.startswith("boardsim: serving"):
                self.problem(line)
        for line in self.logs["shutdown.log"].new_lines():
            if line.strip():
                stamp, command = line.split(" ", 1)
                self.shutdowns.append((float(stamp), command))
        for child in self.children:
            code = child.exit_code()
            if code is not None and not child.reported:
                child.reported = True
                self.problem("%s ended with exit code %d; its log: %s" % (child.name, code, child.log))

    def problem(self, text):
        self.problems = (self.problems + [text])[-4:]

    def read_daemon_line(self, line):
        match = LOG_MESSAGE.match(line)
        if not match:
            return
        level, message = match.groups()
        if found := re.match(r"Auto-shutdown battery threshold level is (\d+)%\.$", message):
            self.threshold = int(found[1])
            if self.threshold_reason is None:
                given = self.options.daemon_arguments
                self.threshold_reason = "from the command line" if given else "the default (scripts/run THRESHOLD sets another)"
        elif re.match(r"Invalid auto-shutdown threshold|Expected one argument at most", message):
            self.threshold_reason = "the default, as the daemon says: " + message
        elif level in ("WARN", "ERROR", "FATAL"):
            self.last_warning = "%s %s" % (level, message)

    def read_bus_line(self, line):
        match = BUS_LINE.match(line)
        if not match:
            if line.startswith("quarn-bus: ") and not re.match(r"quarn-bus: (monitoring|no server is bound .* \(yet\)$)", line):
                self.problem("bus monitor: " + line)
            return
        stamp, name, payload = match.groups()
        values = fields(payload)
        if name == "BATTERY_STATUS_CHANGED":
            charge = re.search(r"chargeState=\d+ \((\w+)\)", payload)
            self.reading = dict(values, time=stamp, chargeState=charge[1] if charge else "?")
            summary = "capacity=%s externalPower=%s %s" % (values.get("capacity"), values.get("externalPower"), self.reading["chargeState"])
        else:
            summary = payload or ""
        # An event like one shown already (a reading every 2 s, a low battery at every check)
        # moves down and is counted, so that the rare ones stay in sight.
        event = "%-22s %s" % (name, summary)
        count = 1 + sum(shown[2] for shown in self.bus_events if shown[1] == event)
        others = [shown for shown in self.bus_events if shown[1] != event]
        self.bus_events = (others + [(stamp, event, count)])[-BUS_EVENTS_SHOWN:]

    def stop(self):
        """The daemon's exit code. The daemon goes first (Ctrl-C has reached it already), then
        the stand-ins, whose ends are no problem any more."""
        for child in self.children:
            child.reported = True
        codes = [child.stop() for child in reversed(self.children)]
        return codes[0] if codes else None


# ---------------------------------------------------------------- the screen


def lamp(on, color):
    return "\x1b[1;%dm●\x1b[0m" % color if on else "\x1b[2m○\x1b[0m"


def commands(options):
    shell = os.path.join(options.repository, "scripts", "run-shell")
    if os.path.realpath(options.run_dir) != os.path.realpath(os.path.join(options.repository, "build", "run")):
        shell += " --run-dir " + options.run_dir
    control = os.path.join(options.run_dir, "dsp-manager.control")
    return [
        ("press the power button", shell + " boardsim-ctl click"),
        ("plug external power", shell + " boardsim-ctl external-power on"),
        ("set the battery level", shell + " boardsim-ctl set capacity 12"),
        ("look at the LED", shell + " boardsim-ctl get led"),
        ("ask the daemon (bus)", shell + " quarn-bus request GET_BATTERY_STATUS"),
        ("start a logging session", 'echo "session active" > ' + control),
        ("stop it", 'echo "session done" > ' + control),
        ("a shell in the sandbox", shell),
    ]


def frame(run, daemon):
    """The screen's lines in three parts: the state, cut to the width; the last bus events, as
    many as the height leaves room for; notes, problems, commands and logs, whole."""
    try:
        battery = run.board.values("get", "battery")
        led = run.board("get", "led").strip()
        backlight = run.board.values("get", "backlight")
    except (OSError, RuntimeError) as error:
        battery, led, backlight = {}, "led1=? led2=? (the board does not answer: %s)" % error, {}
    leds = fields(led)
    meaning = led[led.find("(") + 1:-1] if "(" in led else ""
    run_flag = backlight.get("run", "none")
    light = "on (the daemon has not touched it)" if run_flag == "none" else ("off" if run_flag.startswith("0") else "on")
    if backlight.get("duty_ns", "none") != "none":
        light += ", duty_ns " + backlight["duty_ns"].replace("\\x00", "")
    reading = run.reading
    external = battery.get("status") in ("Charging", "Full")
    code = daemon.exit_code()
    state = "running" if code is None else "ended with exit code %d" % code
    lines = [
        "\x1b[1mpwr-manager on the simulated board\x1b[0m   %s   %s" % (state, time.strftime("%H:%M:%S")),
        "",
        "  threshold       %s" % ("%d %%, %s" % (run.threshold, run.threshold_reason) if run.threshold else "(not logged yet)"),
        "  battery         %s %%  %s   (the board)" % (battery.get("capacity", "?"), battery.get("status", "?")),
        "  daemon's view   %s" % ("%s %%  %s  externalPower=%s   (reading of %s)" % (
            reading.get("capacity"), reading.get("chargeState"), reading.get("externalPower"), reading.get("time"))
            if reading else "(no reading published yet; the first comes 2 s after the start)"),
        "  external power  %s" % ("on" if external else "off"),
        "  power LED       LED 1 %s   LED 2 %s    %s" % (lamp(leds.get("led1") == "1", 33), lamp(leds.get("led2") == "1", 32), meaning),
        "  backlight       %s" % light,
        "  session         %s   (the dsp-manager stand-in)" % run.session,
        "  shutdown calls  %s" % ("none" if not run.shutdowns else "%d, last %s %s" % (
            len(run.shutdowns), time.strftime("%H:%M:%S", time.localtime(run.shutdowns[-1][0])), run.shutdowns[-1][1])),
        "  last warning    %s" % (run.last_warning or "none"),
        "  last bus events (the daemon's, from bus.log)",
    ]
    events = ["    %s  %s%s" % (stamp, event, "   (%d times, the last shown)" % count if count > 1 else "")
              for stamp, event, count in run.bus_events] or ["    none yet"]
    # What was found at the start, the problems with their log files and the commands are
    # there to be read in full or copied: never cut, even where they wrap.
    whole = ["  at the start    " + note for note in run.options.note]
    whole += ["  \x1b[1;31mproblem\x1b[0m         " + text for text in run.problems]
    whole += ["", "From another terminal:"]
    whole += ["  %-25s %s" % pair for pair in commands(run.options)]
    whole += [
        "Logs in %s: pwr-manager.log (the daemon), bus.log (every event)," % run.folder,
        "dsp-manager.log, boardsim.log, shutdown.log.  Ctrl-C ends the run.",
    ]
    return lines, events, whole


class Screen:
    """Redraws in place on a terminal; elsewhere prints each line the first time it appears."""

    def __init__(self):
        self.terminal = sys.stdout.isatty()
        self.printed = set()
        if self.terminal:
            sys.stdout.write("\x1b[?25l\x1b[2J")

    def draw(self, parts):
        state, events, whole = parts
        if self.terminal:
            width, height = shutil.get_terminal_size()
            # A screen taller than the terminal would scroll at every redraw: the oldest bus
            # events give way first; what still does not fit is left out, and the last line says so.
            rows = [1 + max(len(self.plain(line)) - 1, 0) // width for line in whole]
            events = events[-max(height - 1 - len(state) - sum(rows), 1):]
            room = height - 1 - len(state) - len(events)
            if sum(rows) > room:
                while whole and sum(rows) > room - 1:
                    rows.pop()
                    whole = whole[:-1]
                whole = whole + ["\x1b[7m(make the terminal taller for the rest)\x1b[0m"]
            text = "".join(self.cut(line, width) + "\x1b[K\n" for line in state + events)
            text += "".join(line + "\x1b[K\n" for line in whole)
            sys.stdout.write("\x1b[H" + text + "\x1b[J")
        else:
            lines = state + events + whole
            for line in lines:
                plain = self.plain(line)
                if plain.strip() and plain not in self.printed and not plain.startswith("pwr-manager on"):
                    self.printed.add(plain)
                    print(plain)
        sys.stdout.flush()

    @staticmethod
    def plain(line):
        return re.sub(r"\x1b\[[\d;?]*[a-zA-Z]", "", line)

    @staticmethod
    def cut(line, width):
        """The line within the width, escape sequences not counted."""
        shown, visible = "", 0
        for part in re.split(r"(\x1b\[[\d;?]*[a-zA-Z])", line):
            if part.startswith("\x1b"):
                shown += part
            else:
                shown += part[: max(width - visible, 0)]
                visible += len(part)
        return shown

    def close(self):
        if self.terminal:
            sys.stdout.write("\x1b[?25h")
            sys.stdout.flush()


# ---------------------------------------------------------------- the run


def start_everything(run, options):
    build = options.build_dir
    quarn_bus = os.path.join(build, "tools", "quarn-bus", "quarn-bus")
    run.board("external-power", "off")
    run.board("set", "capacity", "25")
    run.board("discharge", "3")
    run.start("the dsp-manager stand-in", [quarn_bus, "dsp-manager", "--control", run.path("dsp-manager.control")],
              "dsp-manager.log")
    run.start("the bus monitor", [quarn_bus, "monitor"], "bus.log")
    # The daemon logs into the run folder only; its console gets the logging set-up's echo.
    env = dict(os.environ, LOG4CPLUS_APPENDER="FILE", LOG4CPLUS_FILE_DIR=run.folder)
    return run.start("pwr-manager", [os.path.join(build, "src", "pwr-manager", "pwr-manager"), *options.daemon_arguments],
                     "pwr-manager.out", env)


def show(run, daemon):
    screen = Screen()
    try:
        while daemon.exit_code() is None:
            run.update()
            screen.draw(frame(run, daemon))
            time.sleep(REFRESH_SECONDS)
    except KeyboardInterrupt:
        pass
    finally:
        code = run.stop()
        run.update()
        screen.draw(frame(run, daemon))
        screen.close()
    print("pwr-manager exited with code %s; its log: %s" % (code, run.path("pwr-manager.log")))


def interrupt(signal_number, stack):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--repository", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--run-dir", required=True)
    parser.add_argument("--record", type=int, metavar="MINUTES")
    parser.add_argument("--note", action="append", default=[], help="a line for the screen from scripts/run")
    parser.add_argument("daemon_arguments", nargs="*")
    options = parser.parse_args()
    signal.signal(signal.SIGTERM, interrupt)
    run = Run(options)
    daemon = start_everything(run, options)
    if options.record:
        import scenario

        scenario.play(run, daemon, options.record * 60)
    else:
        show(run, daemon)


if __name__ == "__main__":
    main()
