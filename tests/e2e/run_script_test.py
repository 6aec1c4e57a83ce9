# scripts/run as a newcomer meets it, with its screen read as a pipe gets it: a control file left
# by an earlier run, an invalid threshold, a second run on the same folder, and a bus request from
# outside the sandbox through scripts/run-shell; then what the runner's screen makes of the
# daemon's and the stand-ins' logs, and of a short terminal.
# Run on the host (scripts/run makes its own sandbox): run_script_test.py <repository> <build> <run folder>

import io
import os
import re
import signal
import subprocess
import sys
import unittest
from types import SimpleNamespace
from unittest import mock

from quarn_e2e import run_tests, wait_until

REPOSITORY, BUILD, RUN = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
sys.path.insert(0, os.path.join(REPOSITORY, "tools", "runner"))
import runner  # noqa: E402
RUN_SCRIPT = [os.path.join(REPOSITORY, "scripts", "run"), "--build-dir", BUILD, "--run-dir", RUN]


SCREEN = os.path.join(os.path.dirname(RUN), "e2e_run_script.screen")


def interrupt(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGINT)
    return process.wait(30)


class RunScriptTest(unittest.TestCase):
    def screen(self):
        with open(SCREEN, errors="replace") as f:
            return f.read()

    def test_stale_control_file_invalid_threshold_second_run_and_a_request_from_outside(self):
        os.makedirs(RUN, exist_ok=True)
        control = os.path.join(RUN, "dsp-manager.control")
        with open(control, "w") as f:
            f.write("left over\n")
        with open(SCREEN, "wb") as screen:
            # A session of its own, so that an interrupt reaches the run's whole group as Ctrl-C does.
            run = subprocess.Popen(RUN_SCRIPT + ["150"], stdout=screen, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(interrupt, run)
        wait_until(lambda: "session         idle" in self.screen() and "threshold       10 %" in self.screen(), 120,
                   "the screen with the stand-in's session and the threshold", 0.5)
        self.assertIn("at the start    removed %s, left behind by an earlier run: not a named pipe" % control, self.screen())
        self.assertIn('threshold       10 %, the default, as the daemon says: Invalid auto-shutdown threshold "150", '
                      "expected 1 to 99", self.screen())

        second = subprocess.run(RUN_SCRIPT, capture_output=True, text=True, timeout=60)
        self.assertEqual((1, ""), (second.returncode, second.stdout))
        self.assertRegex(second.stderr, r"^run: another scripts/run \(process \d+\) is using %s; end it first" % RUN)

        shell = [os.path.join(REPOSITORY, "scripts", "run-shell"), "--run-dir", RUN]
        answer = subprocess.run(shell + ["quarn-bus", "request", "GET_BATTERY_STATUS"], capture_output=True, text=True, timeout=30)
        self.assertEqual(0, answer.returncode, answer.stderr)
        self.assertRegex(answer.stdout, r"IPC_MSG_GET_BATTERY_STATUS \(20\) from IPC_ORIGIN_SERVER_PWR_MANAGER \(3\), "
                         r'88 bytes: present=1 externalPower=0 status="Discharging" capacity=2\d ')

        self.assertEqual(0, interrupt(run))
        self.assertIn("pwr-manager exited with code 1", self.screen())
        self.assertFalse(os.path.exists(control), "the stand-in removes its pipe")
        refused = subprocess.run(shell + ["true"], capture_output=True, text=True, timeout=30)
        self.assertEqual("run-shell: no scripts/run is running on %s (start one in another terminal first)\n" % RUN,
                         refused.stderr)


class RunnerScreenTest(unittest.TestCase):
    def test_threshold_in_force_and_why(self):
        line = "INFO P:7 T:1 [2026-12-06 16:07:12.832 UTC:16:07] power_manager_logger PowerManagerApp.cpp:82 [0.001914 sec] - "
        said = "10 %, the default, as the daemon says: "
        cases = [
            ([], None, "10 %, the default (scripts/run THRESHOLD sets another)"),
            (["5"], None, "5 %, from the command line"),
            (["0"], 'Invalid auto-shutdown threshold "0", expected 1 to 99', said),
            (["5", "6"], "Expected one argument at most, the auto-shutdown threshold; the 2 arguments given are ignored", said),
        ]
        for arguments, refusal, shown in cases:
            run = runner.Run(SimpleNamespace(run_dir=RUN, daemon_arguments=arguments))
            threshold = shown.split(" ", 1)[0]
            for message in [refusal] * bool(refusal) + ["Auto-shutdown battery threshold level is %s%%." % threshold]:
                run.read_daemon_line(line + message)
            self.assertEqual(shown + (refusal or ""), "%d %%, %s" % (run.threshold, run.threshold_reason), arguments)

    def test_the_stand_ins_errors_reach_the_screen(self):
        folder = RUN + ".logs"  # not the run's, which the other test uses
        os.makedirs(folder, exist_ok=True)
        logs = {"dsp-manager.log": "quarn-bus: %s/dsp-manager.control is not a named pipe\n" % folder,
                "boardsim.log": "boardsim: serving /sys/class\nboardsim: cannot mount /sys/class: Permission denied\n"}
        for name, text in logs.items():
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        run = runner.Run(SimpleNamespace(run_dir=folder, daemon_arguments=[]))
        run.update()
        self.assertEqual(["dsp-manager stand-in: quarn-bus: %s/dsp-manager.control is not a named pipe" % folder,
                          "boardsim: cannot mount /sys/class: Permission denied"], run.problems)

    def test_a_short_terminal_keeps_the_screen_in_place_and_the_commands_whole(self):
        state = ["state %d" % n for n in range(12)]
        events = ["event %d" % n for n in range(6)]
        whole = ["command %d " % n + "x" * 100 for n in range(8)]  # two rows each on 80 columns
        terminal = io.StringIO()
        terminal.isatty = lambda: True
        with mock.patch.object(sys, "stdout", terminal), \
                mock.patch.object(runner.shutil, "get_terminal_size", return_value=os.terminal_size((80, 24))):
            runner.Screen().draw((state, events, whole))
        drawn = re.sub(r"\x1b\[[\d;?]*[a-zA-Z]", "", terminal.getvalue().split("\x1b[H", 1)[1]).split("\n")
        # 12 state rows, one event, four commands of two rows and the note: 22 rows of the 23 above
        # the cursor's last one; a fifth command would make 24 and scroll.
        self.assertEqual(state + ["event 5"] + whole[:4] + ["(make the terminal taller for the rest)", ""], drawn)


if __name__ == "__main__":
    run_tests()
