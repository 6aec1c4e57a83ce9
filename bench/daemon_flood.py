"""What a flood on the request socket does to the daemon on the simulated board: its resident
memory over time, the period of its battery checks and how fast a well-behaved client is
answered meanwhile.

Run it inside the sandbox, with the daemon binary as argument:

    scripts/sandbox --board-dir <build>/tools/boardsim -- \\
        /usr/bin/python3 bench/daemon_flood.py <build>/src/pwr-manager/pwr-manager [options]

or through CMake: `cmake --build <build> --target daemon_flood` (120 s) or `daemon_flood_quick`.

Options:
    --duration S   length of the flood, default 120 s
    --after S      time watched after it, default 30 s
    --quick        a smoke check: --duration 10 --after 4

One client (a process of its own) sends frames as fast as the daemon takes them: cut-off
headers, unknown identifiers, battery requests from core-app whose answers nobody reads and from
clients without a response channel. A second client, the remote com-manager, asks for the
battery state every 500 ms on its own connection and times each answer. The board runs on a low
battery (15 %), so the periodic checks are the battery events followed by a low-battery event.
"""

import argparse
import multiprocessing
import os
import sys
import time

import zmq

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from quarn_e2e import (  # noqa: E402 (the helpers live beside the end-to-end tests)
    BATTERY_EVENT, BATTERY_LOW, GET_BATTERY, HEADER, ORIGINS, REQUESTS, Bus, Daemon, ctl, reset_board,
)
from daemon_costs import status_kb, stop_daemon, summary  # noqa: E402

PROBE_PERIOD = 0.5
SAMPLE_PERIOD = 5.0
UNKNOWN = ((67, 6, 0), (68, 6, 0), (-1, 6, 0), (0x7FFFFFFF, 6, 4), (1000, 10, 100))


def flood_frame(index):
    """Frame `index` of the flood: cut-off headers, unknown identifiers, battery requests from
    core-app, and every 500th one from a client without a response channel."""
    if index % 500 == 499:
        return HEADER.pack(GET_BATTERY, (7, 0, 99, -1)[index // 500 % 4])
    position = index % 14
    if position < 8:
        return HEADER.pack(GET_BATTERY, ORIGINS["core-app"])[:position]
    if position == 13:
        return HEADER.pack(GET_BATTERY, ORIGINS["core-app"])
    message, origin, size = UNKNOWN[position - 8]
    return HEADER.pack(message, origin) + b"\xa5" * size


def flood(seconds, sent):
    context = zmq.Context()
    sock = context.socket(zmq.PUSH)
    sock.connect(REQUESTS)
    end, count = time.monotonic() + seconds, 0
    while time.monotonic() < end:
        sock.send(flood_frame(count))
        count += 1
    sent.value = count
    sock.close(linger=0)
    context.term()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("daemon")
    parser.add_argument("--duration", type=float, default=120.0)
    parser.add_argument("--after", type=float, default=30.0)
    parser.add_argument("--quick", action="store_true")
    options = parser.parse_args()
    if options.quick:
        options.duration, options.after = 10.0, 4.0

    reset_board()
    ctl("external-power", "off")
    ctl("set", "capacity", "15")
    bus = Bus(("com-manager-remote",))
    daemon = Daemon(options.daemon)
    try:
        bus.wait_connected()
        bus.wait_frames(2, 6, "two periodic checks before the flood", msg=BATTERY_LOW)
        probe = bus.context.socket(zmq.PUSH)
        probe.connect(REQUESTS)
        pid = daemon.process.pid
        before = status_kb(pid, "VmRSS")
        sent = multiprocessing.Value("q", 0)
        flooder = multiprocessing.Process(target=flood, args=(options.duration, sent))
        mark, started = bus.mark(), time.monotonic()
        flooder.start()
        curve, probes, next_sample = [], [], started
        while time.monotonic() - started < options.duration + options.after:
            now = time.monotonic()
            if now >= next_sample:
                curve.append((now - started, status_kb(pid, "VmRSS")))
                next_sample += SAMPLE_PERIOD
            probes.append(now)
            probe.send(HEADER.pack(GET_BATTERY, ORIGINS["com-manager-remote"]))
            time.sleep(PROBE_PERIOD)
        flooder.join()
        answers = bus.since(mark, "com-manager-remote")
        latencies = [(a.mono - sent_at) * 1000 for a, sent_at in zip(answers, probes)]
        latencies += [None] * (len(probes) - len(answers))
        frames = bus.since(mark)
        checks = [a for a, b in zip(frames, frames[1:]) if (a.msg, b.msg) == (BATTERY_EVENT, BATTERY_LOW)]
        flood_checks = [f.mono for f in checks if f.mono - started < options.duration]
        intervals = [b - a for a, b in zip(flood_checks, flood_checks[1:])]
        probe.close(linger=0)

        print("daemon_flood: pwr-manager on the simulated board, %.0f s of flood, %.0f s after" % (
            options.duration, options.after))
        print("  frames the flooder got through: %d (%.0f per second)" % (
            sent.value, sent.value / options.duration))
        print("  resident memory (VmRSS), before the flood %d kB:" % before)
        for at, rss in curve:
            phase = "flood" if at < options.duration else "after"
            print("    %6.1f s  %-5s %8d kB  %+6d kB" % (at, phase, rss, rss - before))
        print("  largest growth during the flood: %+d kB" % (
            max(rss for at, rss in curve if at < options.duration) - before))
        print("  battery check period during the flood: %d intervals, min %.3f s, max %.3f s" % (
            len(intervals), min(intervals), max(intervals)))
        print("  well-behaved request answered in: " + summary(latencies))
    finally:
        stop_daemon(daemon.process)
        daemon.kill()
        bus.close()


if __name__ == "__main__":
    main()
