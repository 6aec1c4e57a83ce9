# The power LED (GPIO 49 and 143 of the simulated board) following the power source, the battery
# level and the logging session that quarn-bus, playing the dsp-manager, reports; and, over the
# same minute, the periods of the LED tick and of the battery events.
# Run inside scripts/sandbox: led_test.py <pwr-manager> <quarn-bus>

import time

from quarn_e2e import BATTERY_EVENT, DaemonTest, check_drift, check_period, ctl, led_ticks, run_tests, wait_until


class LedTest(DaemonTest):
    def ticks_after(self, after, count):
        enough = lambda: led_ticks(after)[:count] if len(led_ticks(after)) >= count else None
        return [tick[1:] for tick in wait_until(enough, count + 2, "%d LED ticks" % count, 0.1)]

    def ticks_when(self, external, capacity, count):
        # The LED ticks once a battery event shows the board change; the pattern changes in the
        # same turn, before the event is out.
        ctl("external-power", "on" if external else "off")
        ctl("set", "capacity", str(capacity))
        shows = lambda f: (f.battery().external, f.battery().capacity) == (external, capacity)
        return self.ticks_after(self.bus.wait_battery(5, "a reading at %d %%" % capacity, self.bus.mark(), shows).wall, count)

    def test_patterns_follow_the_board_and_the_session_and_the_periods_hold_over_a_minute(self):
        self.start(session="idle")
        after = time.time()
        # (external power, capacity) -> (LED 1, LED 2), what the board says of them
        for external, capacity, leds, meaning in ((1, 80, (0, 1), "external power"), (0, 40, (1, 1), "on battery"),
                                                  (0, 15, (1, 0), "battery low")):
            with self.subTest(external=external, capacity=capacity):
                self.assertEqual([leds, leds], self.ticks_when(external, capacity, 2))
                self.assertEqual("led1=%d led2=%d (%s)\n" % (leds + (meaning,)), ctl("get", "led"))
        # While a session runs, on a low battery LED 1 changes every tick and LED 2 stays off (the
        # other flashing patterns are pinned in process).
        self.dsp.control("session active")
        self.daemon.wait_log(r"^LED flashing was activated$", 3)
        ticks = self.ticks_after(time.time(), 3)
        self.assertEqual([(1, 0), (0, 0), (1, 0)] if ticks[0][0] else [(0, 0), (1, 0), (0, 0)], ticks)
        self.assertRegex(ctl("get", "led"), r"^led1=[01] led2=0 \(battery low, flashing\)$")
        # A stopped session ends the flashing.
        self.dsp.control("session done")
        self.daemon.wait_log(r"^LED flashing was stopped$", 3)
        self.assertEqual([(1, 0), (1, 0)], self.ticks_after(time.time(), 2))

        time.sleep(max(0, after + 61 - time.time()))
        events = [f.mono for f in self.bus.since(msg=BATTERY_EVENT)]
        ticks = [tick[0] for tick in led_ticks(after)]
        self.assertTrue(len(events) >= 30 and len(ticks) >= 60, "%d events, %d ticks" % (len(events), len(ticks)))
        check_period(events, "battery events")
        check_period(ticks, "LED ticks", 1.0)
        check_drift(events, "battery events", 2.0)
        check_drift(ticks, "LED ticks", 1.0)
        self.daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests("pwr_manager", "quarn_bus")
