"""scripts/run --record: a battery discharged down to the daemon's shutdown, a logging session
in the middle and a press of the power button during it. The run folder receives scenario.log
(what was done when), trace.log (every write to the board) and timeline.png."""

import os
import time

import timeline

# When each step comes, as a fraction of the recording; the battery reads below the threshold at
# BELOW_THRESHOLD, so the shutdown follows two checks later.
STEPS = ((0.25, "session active"), (0.40, "button press"), (0.65, "session done"))
BELOW_THRESHOLD = 0.8


def say(start, text):
    print("[%s] %s" % (time.strftime("%M:%S", time.gmtime(time.time() - start)), text), flush=True)


def control_stand_in(run, line):
    # Without a reader a blocking open would wait for ever; this one fails at once instead.
    descriptor = os.open(run.path("dsp-manager.control"), os.O_WRONLY | os.O_NONBLOCK)
    try:
        os.write(descriptor, (line + "\n").encode())
    finally:
        os.close(descriptor)


def play(run, daemon, seconds):
    deadline = time.monotonic() + 10
    while run.threshold is None and time.monotonic() < deadline and daemon.exit_code() is None:
        run.update()
        time.sleep(0.1)
    threshold = run.threshold or 10
    # From well above the low level (15 %) to one below the threshold.
    top = max(30, threshold + 20)
    rate = (top - threshold + 1) / (BELOW_THRESHOLD * seconds / 60)
    start = time.time()
    run.board("set", "capacity", str(top))
    run.board("discharge", "%.3f" % rate)
    marks = ["start %.6f" % start, "threshold %d" % threshold]
    say(start, "battery at %d %%, falling %.1f %% a minute; threshold %d %%" % (top, rate, threshold))
    steps = list(STEPS)
    shutdowns = 0
    try:
        while time.time() < start + seconds and daemon.exit_code() is None:
            run.update()
            if steps and time.time() >= start + steps[0][0] * seconds:
                _, step = steps.pop(0)
                try:
                    if step == "button press":
                        run.board("click")
                    else:
                        control_stand_in(run, step)
                    marks.append("%.6f %s" % (time.time(), step))
                    say(start, step)
                except (OSError, RuntimeError) as error:
                    say(start, "%s failed: %s" % (step, error))
            if len(run.shutdowns) > shutdowns:
                shutdowns = len(run.shutdowns)
                say(start, "shutdown call: " + run.shutdowns[-1][1])
            time.sleep(0.2)
    except KeyboardInterrupt:
        say(start, "interrupted")
    marks.append("end %.6f" % time.time())
    with open(run.path("trace.log"), "w") as f:
        f.write(run.board("trace"))
    with open(run.path("scenario.log"), "w") as f:
        f.write("\n".join(marks) + "\n")
    code = run.stop()
    say(start, "pwr-manager exited with code %s" % code)
    picture = timeline.draw(run.folder, run.path("timeline.png"))
    say(start, "timeline: " + picture)
