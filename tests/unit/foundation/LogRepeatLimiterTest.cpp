#include "foundation/Log.h"

#include "support/LogCapture.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

TEST(LogRepeatLimiter, FirstLineThenOneSummaryPerPeriodUntilTheConditionEnds) {
    testsupport::LogCapture log;
    shared::LogRepeatLimiter limiter(200);
    const auto occur = [&](int times, unsigned long pauseMs) {
        QThread::msleep(pauseMs);
        for (int time = 0; time < times; ++time) {
            LOG_REPEATED(limiter, ::log4cplus::WARN_LOG_LEVEL, "gauge_logger", "No gauge " << 7);
        }
    };
    occur(1000, 0);
    occur(3, 250);
    occur(1, 250);
    // A period in which nothing was held back ends in a plain line.
    occur(1, 250);
    // Once the condition has ended, its next occurrence is a first one.
    limiter.reset();
    occur(2, 0);
    EXPECT_EQ((std::vector<std::string>{
                  "No gauge 7", "No gauge 7 (repeated 999 times since last logged)",
                  "No gauge 7 (repeated 2 times since last logged)", "No gauge 7", "No gauge 7"}),
              log.messages("gauge_logger"));
}

} // namespace
