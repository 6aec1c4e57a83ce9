#include "hal/Melody.h"
#include "hal/DeviceFile.h"

#include "FakeDevices.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>

using halTest::Journal;

namespace {

TEST(Melody, TypeStartPauseAndStopForEachSoundOfTheLayer) {
    halTest::GpioTree tree;
    Journal journal;
    hal::HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(journal));
    layer.playClick();
    layer.playDoubleBeep();
    layer.playLongBeep();
    // Set type 2000 (record 01 00 00 00 D0 07 00 00), start (1), the pause, stop (0).
    const auto tone = [](const std::string& pause) {
        Journal requests = {"open /dev/mldalm",  "ioctl 40086d00 01000000d0070000",
                            "ioctl 40016d01 01", pause,
                            "ioctl 40016d01 00", "close"};
        requests.erase(std::remove(requests.begin(), requests.end(), ""), requests.end());
        return requests;
    };
    Journal expected; // the start-up tone first, without a pause
    for (const Journal& part :
         {tone(""), tone("pause 30000"), tone("pause 76000"), Journal{"pause 38000"},
          tone("pause 76000"), tone("pause 500000")}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(expected, Journal(journal.begin() + 7, journal.end())) << "after the SPI bus";
}

TEST(Melody, MissingDeviceGivesThreeErrorsAndStillTakesItsTime) {
    if (*QUARN_TESTS_EMULATOR) {
        GTEST_SKIP() << "qemu-user answers an ioctl request it does not know with ENOSYS before it "
                        "looks at the descriptor, where the kernel gives EBADF";
    }
    QTemporaryDir dir;
    testsupport::LogCapture log;
    Journal pauses;
    melody::Melody buzzer(
        std::make_unique<hal::DeviceFile>(), dir.filePath("mldalm").toStdString(),
        [&](std::chrono::microseconds pause) { pauses.push_back(std::to_string(pause.count())); });
    buzzer.melodyPlay(2000, 30);
    // Every request fails on the descriptor that could not be opened (EBADF).
    Journal errors;
    for (int melody = 0; melody < 2; ++melody) {
        for (const char* request : {"type", "START", "STOP"}) {
            errors.push_back("Melody " + std::string(request) + " cannot be sent -> ERRNO : 9");
        }
    }
    EXPECT_EQ(errors, log.messages("spi_logger"));
    EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL, log.events().at(5).level);
    EXPECT_EQ(Journal{"30000"}, pauses);
}

} // namespace
