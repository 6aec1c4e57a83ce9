#pragma once

#include "foundation/InitSingletonT.h"
#include "hal/IoctlDevice.h"
#include "hal/Pause.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct spi_ioc_transfer;

namespace hal {
class HwAbstractionLayer;
}

namespace dsp_flash {

// Erases, programs, checks and saves the DSP's firmware flash, a serial NOR flash on SPI bus 0
// reached through spidev. Each flash operation holds the DSP in reset through its run line (low)
// for the whole job and releases it (high) afterwards, whatever the outcome. Failures are
// logged and reported by the result; nothing is thrown.
class DspFlash : public QObject, public shared::InitSingletonT<DspFlash> {
    Q_OBJECT

public:
    typedef shared::InitSingletonT<DspFlash> BASE_InitSingleton_OF_DspFlash;

    static const char* const SPI_BUS_DEVICE_NAME;
    static constexpr int PAGE_SIZE = 256;
    static constexpr int PAGE_COUNT = 512;
    // Status polls, without a pause between them, before a wait gives up.
    static constexpr int STATUS_POLL_LIMIT = 3125;
    // Waits of ERASE_PAUSE each before an erase gives up.
    static constexpr int ERASE_WAITS = 10;
    static constexpr std::chrono::microseconds ERASE_PAUSE{1000000};
    // Taken at the end of a job, before the run line is released.
    static constexpr std::chrono::microseconds SETTLE_PAUSE{1000};

    // The environment variable SPI_BUS_DEVICE when it is set, otherwise SPI_BUS_DEVICE_NAME.
    static std::string spiBusDevicePath();

    // The instrument's flash: spiBusDevicePath(), real sleeps, the run line of the process's
    // hardware layer.
    DspFlash();
    // runLineLayer null means the process's layer, looked up at each operation.
    DspFlash(std::unique_ptr<hal::IoctlDevice> device, std::string devicePath, hal::Pause pause,
             hal::HwAbstractionLayer* runLineLayer);
    ~DspFlash() override;
    DspFlash(const DspFlash&) = delete;
    DspFlash& operator=(const DspFlash&) = delete;

    // Opens the device and sets mode 0, 8 bits per word and 10 MHz, each step attempted even
    // when an earlier one failed.
    void connectSPIbus();
    bool wait_tillFlashIsReady();
    bool eraseDSPflash();
    // Programs the image from address 0 onto an erased flash. An image longer than the flash
    // area is refused before anything is sent.
    bool updateDSPflash(QString fileName);
    // True when the flash area begins with exactly the file's bytes. A file that cannot be
    // opened compares as an empty image, so the flash is not read and the answer is true.
    bool checkDSPflash(QString fileName);
    // Saves the whole flash area, PAGE_COUNT * PAGE_SIZE bytes, to the file.
    bool readDSPflash(QString fileName);

public slots:
    void handleSPIdata();

private:
    // One SPI message; a failure is logged with its errno.
    template <std::size_t COUNT> bool transfer(::spi_ioc_transfer (&records)[COUNT]);
    bool programImage(const QString& fileName);
    bool programPage(std::uint32_t address, const char* data);
    // Appends the whole flash area to image; on failure it releases the run line itself.
    bool readFlashArea(QByteArray& image);
    void setRunLine(int value);
    // SETTLE_PAUSE, then the run line high.
    void finishJob();

    std::unique_ptr<hal::IoctlDevice> device_;
    std::string devicePath_;
    hal::Pause pause_;
    hal::HwAbstractionLayer* runLineLayer_;
};

} // namespace dsp_flash
