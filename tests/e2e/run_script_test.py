"""scripts/run as a newcomer meets it, with its screen read as a pipe gets it: a control file left
by an earlier run, an invalid threshold, a second run on the same folder, and a bus request from
outside the sandbox through scripts/run-shell.
Run on the host (scripts/run makes its own sandbox): run_script_test.py <repository> <build> <run folder>"""

import os
import signal
import subprocess
import sys
import unittest

from quarn_e2e import run_tests, wait_until

REPOSITORY, BUILD, RUN = sys.argv.pop(1), sys.argv.pop(1), sys.argv.pop(1)
RUN_SCRIPT = [os.path.join(REPOSITORY, "scripts", "run"), "--build-dir", BUILD, "--run-dir", RUN]


class RunScriptTest(unittest.TestCase):
    def start_run(self, *arguments):
        self.screen_path = os.path.join(os.path.dirname(RUN), "e2e_run_script.screen")
        with open(self.screen_path, "wb") as screen:
            # A session of its own, so that an interrupt reaches the run's whole group as Ctrl-C does.
            process = subprocess.Popen(RUN_SCRIPT + list(arguments), stdout=screen, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(self.interrupt, process)
        return process

    def screen(self):
        with open(self.screen_path, errors="replace") as f:
            return f.read()

    def interrupt(self, process):
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGINT)
        return process.wait(30)

    def test_stale_control_file_invalid_threshold_second_run_and_a_request_from_outside(self):
        os.makedirs(RUN, exist_ok=True)
        control = os.path.join(RUN, "dsp-manager.control")
        with open(control, "w") as f:
            f.write("left over\n")
        run = self.start_run("150")
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

        self.assertEqual(0, self.interrupt(run))
        self.assertIn("pwr-manager exited with code 1", self.screen())
        self.assertFalse(os.path.exists(control), "the stand-in removes its pipe")
        refused = subprocess.run(shell + ["true"], capture_output=True, text=True, timeout=30)
        self.assertEqual("run-shell: no scripts/run is running on %s (start one in another terminal first)\n" % RUN,
                         refused.stderr)


if __name__ == "__main__":
    run_tests()
