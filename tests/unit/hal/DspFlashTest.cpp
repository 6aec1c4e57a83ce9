#include "hal/DspFlash.h"

#include "FakeDevices.h"
#include "support/FakeHwAbstractionLayer.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

using dsp_flash::DspFlash;
using halTest::Journal;

namespace {

const long FOREVER = std::numeric_limits<long>::max();
const std::string ERASING = "Start erasing the whole DSP Flash... ";
const std::string NOT_READY = "Flash is not ready!!! ";
const std::string SEND_FAILED = "SPI message cannot be sent -> ERRNO : ";
const std::string UP_TO_DATE = "Requested DSP FW is UP-TO-DATE";
const std::string NOT_ACTUAL = "Requested DSP FW is NOT actual...";

class DspFlashTest : public ::testing::Test {
protected:
    QString file(const QByteArray& bytes) {
        QFile file(dir.filePath("image.bin"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    }

    // One job, with what every job must leave: the run line low, then high at the end, and
    // nothing written past the flash area. Returns the job's log messages.
    Journal job(bool result, const std::function<bool()>& operation) {
        log.clear();
        layer.clearCalls();
        EXPECT_EQ(result, operation());
        EXPECT_EQ((Journal{"setDspRunLine(0)", "setDspRunLine(1)"}), layer.calls());
        EXPECT_EQ(std::vector<std::uint8_t>(0x20000, 0xFF),
                  std::vector<std::uint8_t>(model->memory.begin() + 0x20000, model->memory.end()));
        return log.messages("spi_logger");
    }

    // The addresses of the page programs (or reads) sent, in hex.
    Journal sent(const std::string& command = "02") const {
        Journal addresses;
        for (const std::string& selection : model->selections) {
            if (selection.compare(0, 2, command) == 0) {
                addresses.push_back(selection.substr(2, 6));
            }
        }
        return addresses;
    }

    QTemporaryDir dir;
    Journal journal;
    testsupport::FakeHwAbstractionLayer layer;
    testsupport::LogCapture log;
    halTest::NorFlashModel* model = new halTest::NorFlashModel(journal);
    DspFlash flash{std::unique_ptr<halTest::NorFlashModel>(model), "/test/spidev",
                   halTest::recordingDevices(journal).pause, &layer};
    const std::function<bool()> erase = [this] { return flash.eraseDSPflash(); };
};

TEST_F(DspFlashTest, SequencesReachTheFlashAsTheseBytesAndEraseGivesUp) {
    model->erasePolls = 1;
    job(true, erase);
    job(true, [&] { return flash.updateDSPflash(file("\x5a")); });
    job(true, [&] { return flash.readDSPflash(dir.filePath("saved")); });
    const std::string erased(510, 'f');
    EXPECT_EQ((Journal{"06", "c7", "0500", "0500", "06", "020000005a" + erased, "0500", "0500",
                       "03000000" + std::string(512, '0'), "0500"}),
              Journal(model->selections.begin(), model->selections.begin() + 10));

    // An erase gives up after ten waits of one second, or at once when it cannot be sent.
    model->erasePolls = FOREVER;
    model->statusReads = 0;
    journal.clear();
    EXPECT_EQ((Journal{ERASING, NOT_READY}), job(false, erase));
    EXPECT_EQ(10 * 3125, model->statusReads);
    Journal waits(10, "pause 1000000");
    waits.push_back("pause 1000");
    EXPECT_EQ(waits, journal);
    model->failMessage = model->messages;
    EXPECT_EQ((Journal{ERASING, SEND_FAILED + "5"}), job(false, erase));
}

// Each image is programmed onto an erased flash, then checked; the full one is read back too.
TEST_F(DspFlashTest, ProgramCheckAndReadImagesOfEachSize) {
    const struct {
        int size; // -1 a directory, -2 a missing file
        std::size_t pages;
        bool programmed, checked;
    } cases[] = {{0, 0, true, true},   {1, 1, true, true},        {256, 1, true, true},
                 {300, 2, true, true}, {131072, 512, true, true}, {131073, 0, false, false},
                 {-1, 0, false, true}, {-2, 0, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        QByteArray image(std::max(c.size, 0), '\0');
        std::mt19937 random(static_cast<unsigned>(c.size));
        std::generate(image.begin(), image.end(), [&] { return static_cast<char>(random()); });
        const QString path = c.size == -1   ? dir.path()
                             : c.size == -2 ? dir.filePath("missing")
                                            : file(image);
        job(true, erase);
        model->selections.clear();
        EXPECT_EQ(c.size < 0 ? Journal{}
                             : Journal{"Start programming the DSP Flash... " +
                                       std::to_string(c.size) + " bytes! "},
                  job(c.programmed, [&] { return flash.updateDSPflash(path); }));
        const Journal pages = sent();
        EXPECT_EQ(c.pages, pages.size());
        EXPECT_EQ(Journal{c.checked ? UP_TO_DATE : NOT_ACTUAL},
                  job(c.checked, [&] { return flash.checkDSPflash(path); }));
        EXPECT_EQ(c.size < 0 ? 0u : 512u, sent("03").size()) << "pages read by the check";
        if (c.pages == 2) {
            EXPECT_EQ((Journal{"000000", "000100"}), pages);
        } else if (c.pages == 512) {
            EXPECT_EQ((Journal{"000000", "00ff00", "010000", "01ff00"}),
                      (Journal{pages[0], pages[255], pages[256], pages[511]}));
            EXPECT_EQ(Journal{"Saving the FLASH content....success"},
                      job(true, [&] { return flash.readDSPflash(dir.filePath("saved")); }));
            QFile saved(dir.filePath("saved"));
            EXPECT_TRUE(saved.open(QIODevice::ReadOnly) && saved.readAll() == image);
            const QByteArray lastDiffers = image.left(131071) + static_cast<char>(~image[131071]);
            for (const QByteArray& other : {image.left(1000), lastDiffers}) {
                const bool same = other.size() == 1000;
                EXPECT_EQ(Journal{same ? UP_TO_DATE : NOT_ACTUAL},
                          job(same, [&] { return flash.checkDSPflash(file(other)); }));
            }
        }
    }
}

TEST_F(DspFlashTest, FaultsEndTheJobWithTheirMessage) {
    const QString path = file(QByteArray(131072, '\x5a'));
    model->failMessage = 3 * 100; // each page is a program and two status polls
    EXPECT_EQ(SEND_FAILED + "5", job(false, [&] { return flash.updateDSPflash(path); }).back());
    EXPECT_EQ(100u, sent().size());
    model->programPolls = FOREVER;
    EXPECT_EQ(NOT_READY, job(false, [&] { return flash.updateDSPflash(path); }).back());
    EXPECT_EQ(101u, sent().size());
    EXPECT_EQ(NOT_READY, job(false, [&] { return flash.checkDSPflash(path); }).back());
    EXPECT_EQ(NOT_READY, job(false, [&] { return flash.readDSPflash(path); }).back());
    model->busyPolls = 0;
    EXPECT_EQ(Journal{"Saving the FLASH content....error!!"},
              job(false, [&] { return flash.readDSPflash(dir.path()); }));
}

} // namespace
