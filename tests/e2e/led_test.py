"""The power LED (GPIO 49 and 143 of the simulated board) following the power source, the battery
level and the logging session that quarn-bus, playing the dsp-manager, reports.
Run inside scripts/sandbox: led_test.py <pwr-manager> <quarn-bus>"""

import sys
import time
import unittest

from quarn_e2e import (
    Bus,
    Daemon,
    DspManager,
    check_period,
    ctl,
    led_ticks,
    reset_board,
    run_tests,
    wait_until,
)

DAEMON = sys.argv.pop(1)
QUARN_BUS = sys.argv.pop(1)

TICK = 1.0


class LedTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reset_board()
        cls.dsp = DspManager(QUARN_BUS, "idle")
        cls.bus = Bus(responses=())
        cls.daemon = Daemon(DAEMON)
        cls.bus.wait_connected()
        cls.daemon.wait_log(r"^Buffered data initialized by response IPC_MSG_GET_LOGGING_SESSION_STATUS", 5)

    @classmethod
    def tearDownClass(cls):
        try:
            code = cls.daemon.stop()
        finally:
            cls.dsp.stop()
            cls.bus.close()
        assert code == 1, "the daemon ended with %s after SIGTERM" % code

    def setUp(self):
        reset_board()

    def ticks_after(self, after, count):
        return wait_until(
            lambda: led_ticks(after)[:count] if len(led_ticks(after)) >= count else None,
            count * TICK + 2,
            "%d LED ticks" % count,
            0.1,
        )

    def reading(self, what, where):
        """Waits for the battery event that shows the board change; the LED pattern changes in
        the same turn, before the event is out."""
        return self.bus.wait_battery(5, what, self.bus.mark(), lambda f: where(f.battery()))

    def test_steady_pattern_follows_power_source_and_battery_level(self):
        # (external power, capacity) -> (LED 1, LED 2)
        states = ((1, 80, (0, 1)), (0, 40, (1, 1)), (0, 16, (1, 1)), (0, 15, (1, 0)), (1, 15, (0, 1)))
        for external, capacity, leds in states:
            what = "%s at %d %%" % ("external power" if external else "battery", capacity)
            with self.subTest(state=what):
                ctl("external-power", "on" if external else "off")
                ctl("set", "capacity", str(capacity))
                state = (external, capacity)
                event = self.reading(what, lambda b: (b["externalPower"], b["capacity"]) == state)
                ticks = self.ticks_after(event.wall, 2)
                self.assertEqual([leds, leds], [tick[1:] for tick in ticks], what)
                self.assertEqual("led1=%d led2=%d\n" % leds, ctl("get", "led"))

    def test_flashing_while_a_session_runs(self):
        activated = len(self.daemon.messages(r"^LED flashing was activated$"))
        stopped = len(self.daemon.messages(r"^LED flashing was stopped$"))
        self.dsp.control("session active")
        self.daemon.wait_log(r"^LED flashing was activated$", 3, activated + 1)

        # External power: LED 1 off, LED 2 changes every tick.
        ticks = self.ticks_after(time.time(), 3)
        self.assertEqual([0, 0, 0], [tick[1] for tick in ticks])
        self.assertEqual([1, 0, 1] if ticks[0][2] else [0, 1, 0], [tick[2] for tick in ticks])
        check_period([tick[0] for tick in ticks], "LED changes on external power", TICK)

        # A good battery: LED 1 changes every tick and LED 2 follows it.
        ctl("external-power", "off")
        ctl("set", "capacity", "40")
        event = self.reading("the battery at 40 %", lambda b: b["capacity"] == 40 and b["externalPower"] == 0)
        ticks = self.ticks_after(event.wall, 3)
        self.assertEqual([1, 0, 1] if ticks[0][1] else [0, 1, 0], [tick[1] for tick in ticks])
        self.assertEqual([tick[1] for tick in ticks], [tick[2] for tick in ticks])
        check_period([tick[0] for tick in ticks], "LED changes on a good battery", TICK)

        # A low battery: LED 1 changes every tick, LED 2 stays off.
        ctl("set", "capacity", "12")
        event = self.reading("the battery at 12 %", lambda b: b["capacity"] == 12)
        ticks = self.ticks_after(event.wall, 3)
        self.assertEqual([1, 0, 1] if ticks[0][1] else [0, 1, 0], [tick[1] for tick in ticks])
        self.assertEqual([0, 0, 0], [tick[2] for tick in ticks])

        # A second report of a running session changes nothing; a stopped one ends the flashing.
        self.dsp.control("session pending")
        self.dsp.control("session done")
        self.daemon.wait_log(r"^LED flashing was stopped$", 3, stopped + 1)
        self.assertEqual(activated + 1, len(self.daemon.messages(r"^LED flashing was activated$")))
        ticks = self.ticks_after(time.time(), 2)
        self.assertEqual([(1, 0), (1, 0)], [tick[1:] for tick in ticks])


if __name__ == "__main__":
    run_tests()
