#include "ipc/ShortFrameReport.h"

#include "support/LogCapture.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

TEST(ShortFrameReport, FloodOfShortFramesCostsOneLinePerSecondWithTheCountOfTheRest) {
    testsupport::LogCapture log;
    ipc::ShortFrameReport report("ipc_server_logger", "a request");
    for (int frame = 0; frame < 1000; ++frame) {
        report.dropped(3);
    }
    EXPECT_EQ(std::vector<std::string>{"Dropped a request frame of 3 bytes, shorter than the "
                                       "8-byte header"},
              log.messages("ipc_server_logger"));

    QThread::msleep(1050);
    report.dropped(5);
    EXPECT_EQ((std::vector<std::string>{
                  "Dropped a request frame of 3 bytes, shorter than the 8-byte header",
                  "Dropped 999 more frames shorter than the 8-byte header since the last report",
                  "Dropped a request frame of 5 bytes, shorter than the 8-byte header"}),
              log.messages("ipc_server_logger"));
}

} // namespace
