# The power LED (GPIO 49 and 143 of the simulated board) on a low battery, flashing while the
# logging session that quarn-bus, playing the dsp-manager, reports runs; over the same minute, the
# periods of the LED tick and of the battery events; then a press of the button after the session,
# which sends the button's flag to the dsp-manager and runs the shutdown command; the end on
# SIGTERM. The other patterns, and the roads of a press and of a power-down request during a
# session, are pinned in process. Run inside scripts/sandbox: led_test.py <pwr-manager> <quarn-bus>

import time

from quarn_e2e import BATTERY_EVENT, GPIO, DaemonTest, check_drift, check_period, ctl, run_tests, trace, wait_until

SET_CONFIG = r"request: IPC_MSG_SET_INSTRUMENT_CONFIG \(22\) from \S+ \(\d+\), 916 bytes: powerButtonShutdown=1$"


def led_ticks(after):
    # (time, LED 1, LED 2) for each tick after the epoch time `after`: LED 1 is written first.
    ticks, led1 = [], None
    for stamp, path, data, result in trace(GPIO):
        if stamp > after and result == "ok" and path == GPIO + "gpio49/value":
            led1 = (stamp, int(data))
        elif stamp > after and result == "ok" and path == GPIO + "gpio143/value" and led1:
            ticks.append((led1[0], led1[1], int(data)))
            led1 = None
    return ticks


class LedTest(DaemonTest):
    def ticks_after(self, after, count):
        enough = lambda: led_ticks(after)[:count] if len(led_ticks(after)) >= count else None
        return [tick[1:] for tick in wait_until(enough, count + 2, "%d LED ticks" % count, 0.1)]

    def test_low_battery_pattern_flashes_during_a_session_the_periods_hold_and_a_press_shuts_down(self):
        ctl("external-power", "off")
        ctl("set", "capacity", "15")
        self.start(session="idle")
        after = time.time()
        # The pattern changes in the same turn as the reading, before its event is out.
        self.assertEqual([(1, 0), (1, 0)], self.ticks_after(self.bus.wait_frame(5, "a reading", msg=BATTERY_EVENT).wall, 2))
        self.assertEqual("led1=1 led2=0 (battery low)\n", ctl("get", "led"))
        # While a session runs LED 1 changes every tick and LED 2 stays off; its end stops that.
        self.dsp.control("session active")
        self.daemon.wait_log(r"^LED flashing was activated$", 3)
        ticks = self.ticks_after(time.time(), 3)
        self.assertEqual([(1, 0), (0, 0), (1, 0)] if ticks[0][0] else [(0, 0), (1, 0), (0, 0)], ticks)
        self.assertRegex(ctl("get", "led"), r"^led1=[01] led2=0 \(battery low, flashing\)$")
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

        self.press()
        self.dsp.wait_line(SET_CONFIG, 3)
        self.wait_shutdown()
        self.daemon.stop_cleanly()


if __name__ == "__main__":
    run_tests("pwr_manager", "quarn_bus")
