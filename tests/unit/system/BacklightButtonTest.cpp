#include "system/BacklightButton.h"

#include "model/ModelBuffer.h"
#include "records/BatteryStatusRecord.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using quarn_system::BacklightButton;
using BatteryStatusBuffer = model::ModelBuffer<quarn_system::BATTERY_STATUS>;

namespace {

// The run, export and polarity files take a one-character text and its terminating NUL.
const QByteArray ZERO_NUL("0\0", 2);
const QByteArray ONE_NUL("1\0", 2);

TEST(BacklightButtonTest, ButtonAndExternalPowerPolicyThenMissingFiles) {
    QTemporaryDir dir;
    testsupport::LogCapture log;
    const auto bytes = [&dir](const char* name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    };
    // The files start empty, so an untouched one reads empty.
    const auto clearFiles = [&dir] {
        for (const char* name : {"export", "polarity", "period_ns", "duty_ns", "run"}) {
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly | QIODevice::Truncate);
        }
    };
    clearFiles();
    BacklightButton::setPwmDirectory(dir.path() + "/");
    BacklightButton backlight;
    // Checks the mode and what duty_ns and run received in a step, then clears the files.
    const auto expectStep = [&](int mode, const QByteArray& duty, const QByteArray& run,
                                const char* step) {
        EXPECT_EQ(mode, backlight.mode()) << step;
        EXPECT_EQ(duty, bytes("duty_ns")) << step;
        EXPECT_EQ(run, bytes("run")) << step;
        clearFiles();
    };

    backlight.backlightButtonPressed();
    expectStep(BacklightButton::MODE_NONE, "", "", "press before any setting");
    backlight.externalPowerChanged();
    expectStep(BacklightButton::MODE_NONE, "", "", "power change without a mirror");
    backlight.displayBacklightOff();
    expectStep(BacklightButton::MODE_OFF, "", ZERO_NUL, "off");
    backlight.backlightButtonPressed();
    expectStep(BacklightButton::MODE_OFF, "", "", "press when off without a mirror");

    BatteryStatusBuffer::initInstance()->getData().externalPower = false;
    backlight.externalPowerChanged();
    expectStep(BacklightButton::MODE_OFF, "", "", "power change when off");
    EXPECT_TRUE(backlight.externalPowerSeen());
    backlight.backlightButtonPressed();
    expectStep(BacklightButton::MODE_DIMMED, "6400", ONE_NUL, "press when off on battery");
    backlight.backlightButtonPressed();
    expectStep(BacklightButton::MODE_FULL, "21312", "", "press when dimmed");
    backlight.backlightButtonPressed();
    expectStep(BacklightButton::MODE_DIMMED, "6400", "", "press when full");
    backlight.displayBacklightInit();
    EXPECT_EQ(ONE_NUL + ONE_NUL + "21312",
              bytes("export") + bytes("polarity") + bytes("period_ns"));
    expectStep(BacklightButton::MODE_FULL, "21312", ONE_NUL, "init");

    backlight.externalPowerChanged();
    expectStep(BacklightButton::MODE_DIMMED, "6400", "", "power change to battery");
    EXPECT_FALSE(backlight.externalPowerSeen());
    backlight.externalPowerChanged();
    expectStep(BacklightButton::MODE_DIMMED, "", "", "power unchanged");
    BatteryStatusBuffer::getInstance()->getData().externalPower = true;
    backlight.externalPowerChanged();
    expectStep(BacklightButton::MODE_FULL, "21312", "", "power change to external");
    EXPECT_TRUE(log.events().empty());

    // Missing files are logged at ERROR with their errno, and the mode still changes.
    QDir(dir.path()).removeRecursively();
    backlight.displayBacklightOff();
    EXPECT_EQ(BacklightButton::MODE_OFF, backlight.mode());
    backlight.displayBacklightInit();
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight.mode());
    EXPECT_EQ(
        (std::vector<std::string>{
            "PWM cannot open run -> ERRNO : 2", "PWM cannot be initialized -> ERRNO : 2",
            "Polarity cannot be initialized -> ERRNO : 2", "PWM cannot open period_ns -> ERRNO : 2",
            "PWM cannot open duty_ns -> ERRNO : 2", "PWM cannot open run -> ERRNO : 2"}),
        log.messages("quarn_system_logger"));
    for (const auto& event : log.events()) {
        EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL, event.level);
    }
    BacklightButton::setPwmDirectory(BacklightButton::PWM_DIRECTORY);
    BatteryStatusBuffer::releaseInstance();
}

} // namespace
