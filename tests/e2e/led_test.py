"""The power LED (GPIO 49 and 143 of the simulated board) following the power source, the battery
level and the logging session that quarn-bus, playing the dsp-manager, reports; and, over a
minute, the periods of the LED tick and of the battery events.
Run inside scripts/sandbox: led_test.py <pwr-manager> <quarn-bus> [LedTest|PeriodTest]"""

import sys
import time
import unittest

from quarn_e2e import (BATTERY_EVENT, Bus, Daemon, DspManager, check_drift, check_period, ctl, led_ticks,
                       reset_board, run_tests, wait_until)

DAEMON = sys.argv.pop(1)
QUARN_BUS = sys.argv.pop(1)


class DaemonWithDspManager(unittest.TestCase):
    def setUp(self):
        reset_board()
        self.dsp = DspManager(QUARN_BUS, "idle")
        self.addCleanup(self.dsp.stop)
        self.bus = Bus()
        self.addCleanup(self.bus.close)
        self.daemon = Daemon(DAEMON)
        self.addCleanup(self.daemon.kill)
        self.bus.wait_connected()
        self.daemon.wait_log(r"^Buffered data initialized by response IPC_MSG_GET_LOGGING_SESSION_STATUS", 5)


class LedTest(DaemonWithDspManager):
    def ticks_after(self, after, count):
        enough = lambda: led_ticks(after)[:count] if len(led_ticks(after)) >= count else None
        return wait_until(enough, count + 2, "%d LED ticks" % count, 0.1)

    def ticks_when(self, external, capacity, count):
        """The LED ticks once a battery event shows the board change; the pattern changes in the
        same turn, before the event is out."""
        ctl("external-power", "on" if external else "off")
        ctl("set", "capacity", str(capacity))
        shows = lambda f: (f.battery().external, f.battery().capacity) == (external, capacity)
        event = self.bus.wait_battery(5, "a reading at %d %%" % capacity, self.bus.mark(), shows)
        return self.ticks_after(event.wall, count)

    def test_steady_pattern_follows_power_source_and_battery_level(self):
        # (external power, capacity) -> (LED 1, LED 2), what the board says of them
        patterns = ((1, 80, (0, 1), "external power"), (0, 40, (1, 1), "on battery"), (0, 15, (1, 0), "battery low"))
        for external, capacity, leds, meaning in patterns:
            with self.subTest(external=external, capacity=capacity):
                self.assertEqual([leds, leds], [tick[1:] for tick in self.ticks_when(external, capacity, 2)])
                self.assertEqual("led1=%d led2=%d (%s)\n" % (leds + (meaning,)), ctl("get", "led"))
        self.assertEqual(1, self.daemon.stop())

    def test_flashing_once_a_second_while_a_session_runs(self):
        self.dsp.control("session active")
        self.daemon.wait_log(r"^LED flashing was activated$", 3)
        # On external power LED 1 stays off and LED 2 changes every tick.
        ticks = self.ticks_after(time.time(), 3)
        self.assertEqual([0, 0, 0], [tick[1] for tick in ticks])
        self.assertEqual([1, 0, 1] if ticks[0][2] else [0, 1, 0], [tick[2] for tick in ticks])
        check_period([tick[0] for tick in ticks], "LED changes", 1.0)
        # On a low battery LED 1 changes every tick and LED 2 stays off.
        ticks = self.ticks_when(0, 12, 3)
        self.assertEqual([(1, 0), (0, 0), (1, 0)] if ticks[0][1] else [(0, 0), (1, 0), (0, 0)], [t[1:] for t in ticks])
        self.assertRegex(ctl("get", "led"), r"^led1=[01] led2=0 \(battery low, flashing\)$")
        # A stopped session ends the flashing.
        self.dsp.control("session done")
        self.daemon.wait_log(r"^LED flashing was stopped$", 3)
        self.assertEqual([(1, 0), (1, 0)], [tick[1:] for tick in self.ticks_after(time.time(), 2)])
        self.assertEqual(1, self.daemon.stop())


class PeriodTest(DaemonWithDspManager):
    """A minute long: registered on its own, so that it runs beside the other scripts."""

    def test_battery_events_and_led_ticks_keep_their_periods_over_a_minute(self):
        mark, after = self.bus.mark(), time.time()
        time.sleep(61)
        events = [f.mono for f in self.bus.since(mark, msg=BATTERY_EVENT)]
        ticks = [tick[0] for tick in led_ticks(after)]
        self.assertGreaterEqual(len(events), 30)
        self.assertGreaterEqual(len(ticks), 60)
        check_period(events, "battery events")
        check_period(ticks, "LED ticks", 1.0)
        check_drift(events, "battery events", 2.0)
        check_drift(ticks, "LED ticks", 1.0)
        self.assertEqual(1, self.daemon.stop())


if __name__ == "__main__":
    run_tests()
