"""Draws the timeline of a recorded run (scripts/run --record) from the files of its run folder:
the battery level the daemon published (bus.log), its events, the shutdown calls
(shutdown.log), the LED lines and the backlight as the board saw them written (trace.log), and
the scenario's steps (scenario.log).

    /usr/bin/python3 tools/runner/timeline.py RUN_FOLDER [PNG]"""

import ast
import datetime
import os
import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the back end is chosen)
from matplotlib.ticker import FuncFormatter  # noqa: E402

GPIO = "/sys/class/gpio/gpio%d/value"
PWM_RUN = "/sys/class/pwm/tmpa9xx-pwm:1/run"
EVENT_LINE = re.compile(r"^(\d\d):(\d\d):(\d\d\.\d{3}) IPC_MSG_(?:EVENT_)?(\w+) \(\d+\)(.*)$")
EVENT_ROWS = ("BATTERY_LOW", "WANT_POWER_DOWN", "POWER_DOWN", "shutdown call", "button press")


def read_lines(folder, name):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return []
    with open(path, errors="replace") as f:
        return f.read().splitlines()


def scenario(folder):
    start, end, threshold, marks = None, None, 10, []
    for line in read_lines(folder, "scenario.log"):
        first, rest = line.split(" ", 1)
        if first == "start":
            start = float(rest)
        elif first == "end":
            end = float(rest)
        elif first == "threshold":
            threshold = int(rest)
        else:
            marks.append((float(first), rest))
    return start, end, threshold, marks


def bus_events(folder, start):
    """(epoch seconds, name, rest of the line); the monitor prints local times of day."""
    day = datetime.datetime.fromtimestamp(start).replace(hour=0, minute=0, second=0, microsecond=0)
    events = []
    for line in read_lines(folder, "bus.log"):
        match = EVENT_LINE.match(line)
        if match:
            hours, minutes, seconds, name, rest = match.groups()
            stamp = (day + datetime.timedelta(hours=int(hours), minutes=int(minutes), seconds=float(seconds))).timestamp()
            if stamp < start - 3600:  # past midnight
                stamp += 86400
            events.append((stamp, name, rest))
    return events


def written(folder, path, level):
    """(epoch seconds, level) of every accepted write to the path of the board."""
    points = []
    for line in read_lines(folder, "trace.log"):
        stamp, rest = line.split(" ", 1)
        rest, result = rest.rsplit(" ", 1)
        where, quoted = rest.split(' "', 1)
        if where == path and result == "ok":
            points.append((float(stamp), level(ast.literal_eval('b"' + quoted))))
    return points


def steps(points, start, end):
    """A step line from (time, value) points, held to the end."""
    if not points:
        return [], []
    times = [t - start for t, _ in points] + [end - start]
    values = [v for _, v in points] + [points[-1][1]]
    return times, values


def draw(folder, picture):
    start, end, threshold, marks = scenario(folder)
    events = bus_events(folder, start)
    end = end or (events[-1][0] if events else start + 60)
    figure, (battery, rows, lines) = plt.subplots(
        3, 1, sharex=True, figsize=(11, 7.5), gridspec_kw={"height_ratios": [3, 1.6, 1.6]}
    )
    figure.suptitle("pwr-manager on the simulated board: discharge to shutdown, a session, a button press")

    # Battery level, as the daemon published it, with its two levels and the session.
    levels = [(t, int(re.search(r"capacity=(-?\d+)", rest)[1])) for t, name, rest in events if name == "BATTERY_STATUS_CHANGED"]
    times, values = steps(levels, start, end)
    battery.step(times, values, where="post", color="tab:blue", label="battery level (BATTERY_STATUS_CHANGED)")
    battery.axhline(15, color="tab:orange", linestyle="--", linewidth=1, label="low: 15 % or less")
    battery.axhline(threshold, color="tab:red", linestyle="--", linewidth=1, label="shutdown threshold: below %d %%" % threshold)
    session = [t - start for t, text in marks if text.startswith("session")]
    if len(session) == 2:
        battery.axvspan(*session, color="tab:green", alpha=0.12, label="logging session active")
    battery.set_ylabel("battery %")
    battery.set_ylim(0, max(values + [30]) + 5)
    battery.legend(loc="lower left", fontsize=8)
    battery.grid(alpha=0.3)

    # The daemon's events, the shutdown calls and the button.
    occurrences = {name: [t - start for t, event, _ in events if event == name] for name in EVENT_ROWS[:3]}
    occurrences["shutdown call"] = [float(line.split(" ", 1)[0]) - start for line in read_lines(folder, "shutdown.log") if line.strip()]
    occurrences["button press"] = [t - start for t, text in marks if text == "button press"]
    colors = ("tab:orange", "tab:purple", "tab:red", "black", "tab:green")
    for row, (name, color) in enumerate(zip(EVENT_ROWS, colors)):
        rows.plot(occurrences[name], [row] * len(occurrences[name]), "|", markersize=14, markeredgewidth=2, color=color)
    rows.set_yticks(range(len(EVENT_ROWS)), EVENT_ROWS, fontsize=8)
    rows.set_ylim(-0.7, len(EVENT_ROWS) - 0.3)
    rows.invert_yaxis()
    rows.grid(axis="x", alpha=0.3)

    # The lines as the board saw them written: each drawn high when on.
    signals = (
        ("LED 1 (gpio 49)", written(folder, GPIO % 49, int), "tab:olive"),
        ("LED 2 (gpio 143)", written(folder, GPIO % 143, int), "tab:green"),
        ("backlight (pwm run)", written(folder, PWM_RUN, lambda data: int(data[:1] == b"1")), "tab:gray"),
    )
    for row, (name, points, color) in enumerate(signals):
        base = 2 * (len(signals) - 1 - row)
        # Before its first write the backlight is on, as the display starts.
        if name.startswith("backlight"):
            points = [(start, 1)] + points
        times, values = steps(points, start, end)
        lines.fill_between(times, base, [base + 1.2 * v for v in values], step="post", color=color, alpha=0.8, linewidth=0)
    lines.set_yticks([2 * (len(signals) - 1 - row) + 0.6 for row in range(len(signals))], [s[0] for s in signals], fontsize=8)
    lines.set_ylim(-0.4, 2 * len(signals) - 0.4)
    lines.set_xlabel("minutes:seconds since the start of the scenario")
    lines.xaxis.set_major_formatter(FuncFormatter(lambda x, _: "%d:%02d" % divmod(max(int(x), 0), 60)))
    lines.set_xlim(0, end - start)

    for axis in (battery, rows, lines):
        for t, text in marks:
            axis.axvline(t - start, color="tab:green", linewidth=0.8, alpha=0.6)
    for t, text in marks:
        battery.annotate(text, (t - start, battery.get_ylim()[1]), xytext=(3, -12), textcoords="offset points", fontsize=8, color="tab:green")

    figure.tight_layout()
    figure.savefig(picture, dpi=100)
    return picture


if __name__ == "__main__":
    folder = sys.argv[1]
    print(draw(folder, sys.argv[2] if len(sys.argv) > 2 else os.path.join(folder, "timeline.png")))
