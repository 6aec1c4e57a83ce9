# A long run of the daemon on the simulated board with faults injected, run inside the sandbox
# by scripts/soak:
#
#     soak.py PWR_MANAGER QUARN_BUS MINUTES OUTPUT_DIR
#
# Every 100 s round: a shutdown trigger (button, power-down request or low battery, in turn) that
# must run the shutdown command within 5 s; the battery recovers on external power; a session
# starts, a press then only asks core-app; the session stops; the dsp-manager restarts; the battery
# discharges. Meanwhile two clients ask for the battery state at random rates, and strace, attached
# 20 s of every 30, injects EIO or EAGAIN (in turn) into the gauge reads, ENOSPC into the log file
# writes and EINTR into the button wait. Resident memory, CPU, descriptors and threads are sampled
# every second. It fails on a growth trend, a periodic battery event missing or more than LATE_S off
# its 2 s grid, a crash, or a lost shutdown; it writes soak.csv and, with matplotlib, soak.png.

import bisect
import contextlib
import csv
import os
import random
import statistics
import subprocess
import sys
import threading
import time

import zmq

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "e2e"), os.path.join(HERE, "..", "..", "bench")]
from quarn_e2e import (  # noqa: E402 (the helpers live beside the end-to-end tests)
    BATTERY_EVENT, DO_POWER_DOWN, GET_BATTERY, HEADER, LOG_FILE, ORIGINS, REQUESTS, SYS, WANT_POWER_DOWN,
    Bus, Daemon, DspManager, cpu_seconds, ctl, reset_board, shutdown_calls, wait_until,
)
from daemon_costs import status_kb  # noqa: E402

GAUGE = SYS + "/power_supply/bq27425-0/"
GAUGE_FILES = [GAUGE + name for name in ("present", "status", "capacity", "type", "current_now", "voltage_now", "temp")]
READ_FAULTS = ("read:error=EIO:when=3+7", "read:error=EAGAIN:when=2+5")
ROUND = 100.0
# How far off its 2 s grid a battery check may fire. Its timer is a precise one, so what is left is
# scheduling delay, also while strace stops the main thread at each system call.
LATE_S = 0.1
# How far apart an answer and the reading published with it may arrive; both leave the daemon one
# after the other and reach the Bus's one receiving thread.
ANSWER_S = 0.05


class Faults(threading.Thread):
    # strace on the daemon's threads, 20 s on and 10 s off: read faults on the gauge and ENOSPC
    # on the log file for every thread but the button watcher, EINTR on the watcher's wait.

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.stopping, self.phase, self.phases = pid, threading.Event(), "none", 0
        # (begin, end) of each phase with strace attached, to tell its offsets apart in the summary.
        self.traced = []

    def tracers(self, fault):
        tasks = {int(t): open("/proc/%d/task/%s/comm" % (self.pid, t)).read().strip() for t in os.listdir("/proc/%d/task" % self.pid)}
        watcher = [t for t, name in tasks.items() if name.startswith("power_manager")]
        # ZeroMQ's threads are left alone: every stop of a traced thread costs time, and they
        # neither read the gauge nor write the log.
        others = [a for t, name in tasks.items() if name == tasks[self.pid] for a in ("-p", str(t))]
        base = ["strace", "-qq", "-o", "/dev/null"]
        paths = [a for p in GAUGE_FILES + [LOG_FILE] for a in ("-P", p)]
        yield base + others + paths + ["-e", "trace=read,write", "-e", "inject=" + fault, "-e", "inject=write:error=ENOSPC:when=2+3"]
        for t in watcher:
            yield base + ["-p", str(t), "-P", SYS + "/gpio/gpio2/value", "-e", "trace=ppoll", "-e", "inject=ppoll:error=EINTR:when=1+2"]

    def run(self):
        while not self.stopping.is_set():
            fault = READ_FAULTS[self.phases % 2]
            self.phase, self.phases = fault.split("=")[1].split(":")[0], self.phases + 1
            begin = time.monotonic()
            running = [subprocess.Popen(command) for command in self.tracers(fault)]
            self.stopping.wait(20)
            for process in running:
                process.terminate()
                process.wait(10)
            self.traced.append((begin, time.monotonic()))
            self.phase = "none"
            self.stopping.wait(10)


class Clients(threading.Thread):
    # core-app and the remote com-manager ask for the battery state at a rate that changes every
    # 10 s (0.5 to 20 per second); the answers arrive on the Bus.

    def __init__(self):
        super().__init__(daemon=True)
        self.stopping, self.sent = threading.Event(), 0

    def run(self):
        context = zmq.Context()
        push = context.socket(zmq.PUSH)
        push.setsockopt(zmq.SNDTIMEO, 1000)
        push.connect(REQUESTS)
        rate, changed = 1.0, 0.0
        while not self.stopping.wait(random.expovariate(rate)):
            if time.monotonic() - changed > 10:
                rate, changed = random.uniform(0.5, 20), time.monotonic()
            with contextlib.suppress(zmq.Again):
                push.send(HEADER.pack(GET_BATTERY, ORIGINS[random.choice(("core-app", "com-manager-remote"))]))
                self.sent += 1
        context.destroy(linger=0)


def board(*commands):
    for command in commands:
        ctl(*command.split())


def periodic_events(events, answers, start, end, traced):
    # The battery checks on their 2 s grid. Every answer is published as an event as well, in the
    # same turn of the daemon's loop: the event nearest to each answer is a requested reading, and
    # left among the checks it would stand in for a check that came late or never (at 20 requests
    # a second, one falls near nearly every slot). The grid's phase is the one most checks share;
    # per slot the nearest check, its distance and whether strace was attached.
    times = sorted(events)
    for answer in answers:
        i = bisect.bisect_left(times, answer)
        near = min((j for j in (i - 1, i) if 0 <= j < len(times)), key=lambda j: abs(times[j] - answer), default=None)
        if near is not None and abs(times[near] - answer) < ANSWER_S:
            del times[near]
    phase = max((t % 2.0 for t in times[:50]), key=lambda p: sum(abs((t - p + 1.0) % 2.0 - 1.0) < 0.1 for t in times))
    slots = []
    k = int((start - phase) / 2.0) + 1
    while phase + 2.0 * k < end - 1.0:
        expected = phase + 2.0 * k
        k += 1
        near = min(times, key=lambda t: abs(t - expected), default=None)
        slots.append((expected, near, abs(near - expected) if near is not None else None,
                      any(begin <= expected <= until for begin, until in traced)))
    return slots


def trend(values, what, limit, failures):
    # Median of the last quarter against the first quarter after the warm-up.
    quarter = max(1, len(values) // 4)
    first, last = statistics.median(values[:quarter]), statistics.median(values[-quarter:])
    if last - first > limit:
        failures.append("%s grew from %s to %s" % (what, first, last))
    return first, last


def main():
    daemon_path, quarn_bus, minutes, output = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
    os.makedirs(output, exist_ok=True)
    failures, samples = [], []
    reset_board()
    bus = Bus(responses=("core-app", "com-manager-remote"))
    dsp = DspManager(quarn_bus)
    daemon = Daemon(daemon_path)
    start = time.monotonic()
    bus.wait_frame(5, "the first battery event", msg=BATTERY_EVENT)
    # The request channel of the shutdown requests, connected now: a connection made later would
    # count as a descriptor that grew.
    bus.request(GET_BATTERY)
    faults, clients = Faults(daemon.process.pid), Clients()
    faults.start()
    clients.start()

    def sample():
        cpu, at = cpu_seconds(daemon.process.pid), time.monotonic()
        while daemon.alive() and not clients.stopping.is_set():
            time.sleep(1.0 - (time.monotonic() - start) % 1.0)
            pid, now, used = daemon.process.pid, time.monotonic(), cpu_seconds(daemon.process.pid)
            samples.append((round(now - start), status_kb(pid, "VmRSS"), 100 * (used - cpu) / (now - at),
                            len(os.listdir("/proc/%d/fd" % pid)), status_kb(pid, "Threads"), faults.phase))
            cpu, at = used, now

    sampler = threading.Thread(target=sample, daemon=True)
    sampler.start()

    def check(action):
        try:
            action()
        except AssertionError as error:
            failures.append(str(error))

    def shutdown(what, trigger):
        before = len(shutdown_calls())
        trigger()
        wait_until(lambda: len(shutdown_calls()) > before, 5, "the shutdown command after " + what)

    def press_during_session():
        mark = bus.mark()
        ctl("click")
        bus.wait_frame(3, "IPC_MSG_EVENT_WANT_POWER_DOWN for a press during a session", mark, msg=WANT_POWER_DOWN)

    def restart_dsp():
        nonlocal dsp
        dsp.stop()
        dsp = DspManager(quarn_bus)

    triggers = (
        ("a button click", lambda: ctl("click")),
        ("a power-down request", lambda: bus.request(DO_POWER_DOWN)),
        ("a low battery", lambda: ctl("set", "capacity", "8")),
    )
    rounds = max(1, int(minutes * 60 // ROUND))
    for index in range(rounds):
        # (seconds into the round, what happens then)
        for offset, action in (
            (5, lambda: board("external-power off", "set capacity 40")),
            (10, lambda: check(lambda: shutdown(*triggers[index % 3]))),
            (20, lambda: board("external-power on", "set capacity 50")),
            (30, lambda: dsp.control("session active")),
            (35, lambda: check(press_during_session)),
            (50, lambda: dsp.control("session idle")),
            (60, restart_dsp),
            (75, lambda: board("external-power off", "discharge 20")),
            (ROUND, lambda: None),
        ):
            time.sleep(max(0.0, start + index * ROUND + offset - time.monotonic()))
            action()
        if not daemon.alive():
            break
    end = time.monotonic()
    faults.stopping.set()
    faults.join(30)
    clients.stopping.set()
    clients.join(10)
    sampler.join(5)

    if not daemon.alive():
        failures.append("the daemon ended with exit code %s" % daemon.process.returncode)
    # The exit line must reach the log file: logging has to outlive the failed writes.
    check(daemon.stop_cleanly)
    dsp.stop()
    events = [f.mono for f in bus.since(0, "events", BATTERY_EVENT)]
    answered = [f.mono for f in bus.since(0, "core-app") + bus.since(0, "com-manager-remote")]
    bus.close()

    slots = periodic_events(events, answered, start + 3.0, end, faults.traced)
    late = [(round(expected - start, 1), None if off is None else round(off * 1000)) for expected, _, off, _ in slots if off is None or off > LATE_S]
    if late:
        failures.append("%d of %d battery checks missing or late (> %d ms): %s" % (len(late), len(slots), LATE_S * 1000, late[:10]))
    periods = {round(b[1] - start): (b[1] - a[1]) * 1000 for a, b in zip(slots, slots[1:]) if a[2] is not None and b[2] is not None and a[2] <= LATE_S and b[2] <= LATE_S}
    warm = [s for s in samples if s[0] >= min(60, len(samples) // 5)]
    rss = trend([s[1] for s in warm], "resident memory (KiB)", 1024, failures)
    fds = trend([s[3] for s in warm], "open descriptors", 0, failures)
    threads = trend([s[4] for s in warm], "threads", 0, failures)

    with open(os.path.join(output, "soak.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(("seconds", "rss_kib", "cpu_percent", "fds", "threads", "battery_period_ms", "read_fault"))
        for s in samples:
            writer.writerow((s[0], s[1], "%.2f" % s[2], s[3], s[4], "%.1f" % periods[s[0]] if s[0] in periods else "", s[5]))
    plot(samples, periods, output)

    def largest(traced):
        return max((off * 1000 for _, _, off, t in slots if off is not None and off <= LATE_S and t == traced), default=0)

    print("soak: %.1f min, %d shutdown triggers, %d requests sent, %d answered, %d fault phases"
          % ((end - start) / 60, rounds, clients.sent, len(answered), faults.phases))
    print("soak: battery checks %d, largest offset from the grid %.1f ms (%.1f ms while traced), periods %.1f..%.1f ms"
          % (len(slots), largest(False), largest(True), min(periods.values(), default=0), max(periods.values(), default=0)))
    print("soak: RSS %s -> %s KiB, fds %s -> %s, threads %s -> %s, CPU mean %.2f %%"
          % (*rss, *fds, *threads, statistics.mean(s[2] for s in samples) if samples else 0))
    for failure in failures:
        print("soak: FAIL " + failure)
    print("soak: %s (%s)" % ("FAILED" if failures else "passed", os.path.join(output, "soak.csv")))
    return 1 if failures else 0


def plot(samples, periods, output):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return
    figure, (memory, period) = plt.subplots(2, 1, sharex=True, figsize=(8, 5))
    memory.plot([s[0] for s in samples], [s[1] / 1024 for s in samples])
    memory.set_ylabel("resident memory (MiB)")
    period.plot(sorted(periods), [periods[t] for t in sorted(periods)], ".", markersize=3)
    period.set_ylabel("battery event period (ms)")
    period.set_xlabel("seconds")
    for s in samples:
        if s[5] != "none":
            period.axvspan(s[0] - 0.5, s[0] + 0.5, alpha=0.1, color="red", linewidth=0)
    figure.suptitle("pwr-manager soak with injected faults (shaded: strace attached)")
    figure.tight_layout()
    figure.savefig(os.path.join(output, "soak.png"), dpi=80)


if __name__ == "__main__":
    sys.exit(main())
