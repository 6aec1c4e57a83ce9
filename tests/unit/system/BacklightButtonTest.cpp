#include "system/BacklightButton.h"

#include "model/ModelBuffer.h"
#include "model/ModelDefaults.h"
#include "records/BatteryStatusRecord.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using quarn_system::BacklightButton;
using BatteryStatusBuffer = model::ModelBuffer<quarn_system::BATTERY_STATUS>;

namespace {

const char* const PWM_FILES[] = {"export", "polarity", "period_ns", "duty_ns", "run"};

class BacklightButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : PWM_FILES) {
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        }
        BacklightButton::setPwmDirectory(dir.path() + "/");
        backlight = std::make_unique<BacklightButton>();
    }

    void TearDown() override {
        BacklightButton::setPwmDirectory(BacklightButton::PWM_DIRECTORY);
        BatteryStatusBuffer::releaseInstance();
    }

    // What each file holds; the files start empty, so an untouched one reads empty.
    QByteArray bytes(const char* name) const {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void clearFiles() {
        for (const char* name : PWM_FILES) {
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly | QIODevice::Truncate);
        }
    }

    void mirrorExternalPower(bool externalPower) {
        auto buffer = BatteryStatusBuffer::getInstance();
        if (!buffer) {
            buffer = BatteryStatusBuffer::initInstance();
        }
        buffer->getData().externalPower = externalPower;
    }

    QTemporaryDir dir;
    testsupport::LogCapture log;
    std::unique_ptr<BacklightButton> backlight;
};

TEST_F(BacklightButtonTest, SettingsWriteTheExactBytesAndSetTheMode) {
    backlight->displayBacklightOff();
    EXPECT_EQ(QByteArray("0\0", 2), bytes("run"));
    EXPECT_EQ(BacklightButton::MODE_OFF, backlight->mode());
    backlight->displayBacklightOn();
    EXPECT_EQ(QByteArray("1\0", 2), bytes("run"));
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight->mode());
    backlight->displayBacklightDimmed();
    EXPECT_EQ(QByteArray("6400"), bytes("duty_ns"));
    EXPECT_EQ(BacklightButton::MODE_DIMMED, backlight->mode());
    clearFiles();
    backlight->displayBacklightFull();
    EXPECT_EQ(QByteArray("21312"), bytes("duty_ns"));
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight->mode());
    EXPECT_TRUE(log.events().empty());
}

TEST_F(BacklightButtonTest, InitialisationExportsSetsPolarityPeriodDutyAndSwitchesOn) {
    backlight->displayBacklightInit();
    EXPECT_EQ(QByteArray("1\0", 2), bytes("export"));
    EXPECT_EQ(QByteArray("1\0", 2), bytes("polarity"));
    EXPECT_EQ(QByteArray("21312"), bytes("period_ns"));
    EXPECT_EQ(QByteArray("21312"), bytes("duty_ns"));
    EXPECT_EQ(QByteArray("1\0", 2), bytes("run"));
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight->mode());
}

TEST_F(BacklightButtonTest, MissingFilesAreLoggedWithErrnoAndTheModeStillChanges) {
    QDir(dir.path()).removeRecursively();
    backlight->displayBacklightOff();
    EXPECT_EQ(BacklightButton::MODE_OFF, backlight->mode());
    backlight->displayBacklightInit();
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight->mode());
    EXPECT_EQ(
        (std::vector<std::string>{
            "PWM cannot open run -> ERRNO : 2", "PWM cannot be initialized -> ERRNO : 2",
            "Polarity cannot be initialized -> ERRNO : 2", "PWM cannot open period_ns -> ERRNO : 2",
            "PWM cannot open duty_ns -> ERRNO : 2", "PWM cannot open run -> ERRNO : 2"}),
        log.messages("quarn_system_logger"));
    for (const auto& event : log.events()) {
        EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL, event.level);
    }
}

TEST_F(BacklightButtonTest, ButtonTogglesFullAndDimmedAndDoesNothingBeforeAnySetting) {
    backlight->backlightButtonPressed();
    EXPECT_EQ(BacklightButton::MODE_NONE, backlight->mode());
    EXPECT_TRUE(bytes("duty_ns").isEmpty());
    backlight->displayBacklightFull();
    backlight->backlightButtonPressed();
    EXPECT_EQ(BacklightButton::MODE_DIMMED, backlight->mode());
    backlight->backlightButtonPressed();
    EXPECT_EQ(BacklightButton::MODE_FULL, backlight->mode());
}

TEST_F(BacklightButtonTest, ButtonSwitchesAnOffBacklightOnOnlyWhenTheBatteryIsMirrored) {
    backlight->displayBacklightOff();
    backlight->backlightButtonPressed();
    EXPECT_EQ(BacklightButton::MODE_OFF, backlight->mode());
    EXPECT_EQ(QByteArray("0\0", 2), bytes("run"));

    mirrorExternalPower(false);
    backlight->backlightButtonPressed();
    EXPECT_EQ(QByteArray("1\0", 2), bytes("run"));
    EXPECT_EQ(QByteArray("6400"), bytes("duty_ns"));
    EXPECT_EQ(BacklightButton::MODE_DIMMED, backlight->mode());
}

TEST_F(BacklightButtonTest, ExternalPowerChangeActsOnlyOnAChangeAndNeverWhenOff) {
    backlight->externalPowerChanged();
    EXPECT_TRUE(bytes("duty_ns").isEmpty()) << "no mirror, nothing to act on";

    mirrorExternalPower(true);
    backlight->externalPowerChanged();
    EXPECT_TRUE(bytes("duty_ns").isEmpty()) << "unchanged from the initial external power";

    mirrorExternalPower(false);
    backlight->externalPowerChanged();
    EXPECT_EQ(QByteArray("6400"), bytes("duty_ns"));
    EXPECT_EQ(BacklightButton::MODE_DIMMED, backlight->mode());
    EXPECT_FALSE(backlight->externalPowerSeen());

    backlight->displayBacklightOff();
    clearFiles();
    mirrorExternalPower(true);
    backlight->externalPowerChanged();
    EXPECT_TRUE(bytes("duty_ns").isEmpty());
    EXPECT_FALSE(backlight->externalPowerSeen());
}

} // namespace
