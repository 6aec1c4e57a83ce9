#include "hal/DspFlash.h"

#include "foundation/Log.h"
#include "hal/DeviceFile.h"
#include "hal/HwAbstractionLayer.h"

#include <QFile>

#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace dsp_flash {

namespace {

const char* const LOGGER = "spi_logger";

// The serial NOR command set.
constexpr std::uint8_t WRITE_ENABLE = 0x06;
constexpr std::uint8_t CHIP_ERASE = 0xC7;
constexpr std::uint8_t PAGE_PROGRAM = 0x02;
constexpr std::uint8_t READ_DATA = 0x03;
constexpr std::uint8_t READ_STATUS = 0x05;
constexpr std::uint8_t STATUS_BUSY = 0x01;

constexpr std::uint8_t SPI_BITS_PER_WORD = 8;
constexpr std::uint32_t SPI_MAX_SPEED_HZ = 10000000;

// Records set only their buffer, length and chip-select change; every other field stays zero,
// so the driver's defaults apply.
spi_ioc_transfer sending(const void* bytes, std::uint32_t length, bool releaseAfter = false) {
    spi_ioc_transfer record{};
    record.tx_buf = reinterpret_cast<std::uintptr_t>(bytes);
    record.len = length;
    record.cs_change = releaseAfter ? 1 : 0;
    return record;
}

spi_ioc_transfer receiving(void* bytes, std::uint32_t length) {
    spi_ioc_transfer record{};
    record.rx_buf = reinterpret_cast<std::uintptr_t>(bytes);
    record.len = length;
    return record;
}

// A command byte and a 24-bit address, most significant byte first.
struct AddressedCommand {
    std::uint8_t bytes[4];
};

AddressedCommand addressed(std::uint8_t command, std::uint32_t address) {
    return AddressedCommand{{command, static_cast<std::uint8_t>(address >> 16),
                             static_cast<std::uint8_t>(address >> 8),
                             static_cast<std::uint8_t>(address)}};
}

// The whole file; false when it cannot be opened or read.
bool readImage(const QString& fileName, QByteArray& image) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    image = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

const char* const DspFlash::SPI_BUS_DEVICE_NAME = "/dev/spidev0.0";

std::string DspFlash::spiBusDevicePath() {
    const char* configured = std::getenv("SPI_BUS_DEVICE");
    return configured != nullptr ? configured : SPI_BUS_DEVICE_NAME;
}

DspFlash::DspFlash()
    : DspFlash(std::make_unique<hal::DeviceFile>(), spiBusDevicePath(), hal::sleepFor, nullptr) {}

DspFlash::DspFlash(std::unique_ptr<hal::IoctlDevice> device, std::string devicePath,
                   hal::Pause pause, hal::HwAbstractionLayer* runLineLayer)
    : QObject(nullptr)
    , device_(std::move(device))
    , devicePath_(std::move(devicePath))
    , pause_(std::move(pause))
    , runLineLayer_(runLineLayer) {
    connectSPIbus();
}

DspFlash::~DspFlash() {
    device_->close();
}

void DspFlash::connectSPIbus() {
    // A device that cannot be opened is not reported itself: every request then fails and says so.
    device_->open(devicePath_);
    std::uint8_t mode = SPI_MODE_0;
    std::uint8_t bitsPerWord = SPI_BITS_PER_WORD;
    std::uint32_t maxSpeedHz = SPI_MAX_SPEED_HZ;
    const struct {
        unsigned long request;
        void* value;
        const char* errorText;
    } steps[] = {
        {SPI_IOC_WR_MODE, &mode, "SPI_IOC_WR_MODE() failed."},
        {SPI_IOC_RD_MODE, &mode, "SPI_IOC_RD_MODE() failed."},
        {SPI_IOC_WR_BITS_PER_WORD, &bitsPerWord, "SPI_IOC_WR_BITS_PER_WORD() failed."},
        {SPI_IOC_RD_BITS_PER_WORD, &bitsPerWord, "SPI_IOC_RD_BITS_PER_WORD() failed."},
        {SPI_IOC_WR_MAX_SPEED_HZ, &maxSpeedHz, "SPI_IOC_WR_MAX_SPEED_HZ() failed."},
        {SPI_IOC_RD_MAX_SPEED_HZ, &maxSpeedHz, "SPI_IOC_RD_MAX_SPEED_HZ() failed."},
    };
    for (const auto& step : steps) {
        if (device_->ioctl(step.request, step.value) < 0) {
            LOG_ERROR(LOGGER, step.errorText);
        }
    }
}

template <std::size_t COUNT> bool DspFlash::transfer(spi_ioc_transfer (&records)[COUNT]) {
    if (device_->ioctl(SPI_IOC_MESSAGE(COUNT), records) < 0) {
        const int error = errno;
        LOG_ERROR(LOGGER, "SPI message cannot be sent -> "
                              << "ERRNO : " << error);
        return false;
    }
    return true;
}

bool DspFlash::wait_tillFlashIsReady() {
    const std::uint8_t command = READ_STATUS;
    for (int poll = 0; poll < STATUS_POLL_LIMIT; ++poll) {
        std::uint8_t status = STATUS_BUSY;
        spi_ioc_transfer records[] = {sending(&command, 1), receiving(&status, 1)};
        if (!transfer(records)) {
            return false;
        }
        if ((status & STATUS_BUSY) == 0) {
            return true;
        }
    }
    return false;
}

bool DspFlash::eraseDSPflash() {
    setRunLine(0);
    LOG_INFO(LOGGER, "Start erasing the whole DSP Flash... ");
    const std::uint8_t writeEnable = WRITE_ENABLE;
    const std::uint8_t chipErase = CHIP_ERASE;
    spi_ioc_transfer records[] = {sending(&writeEnable, 1, true), sending(&chipErase, 1)};
    if (!transfer(records)) {
        setRunLine(1);
        return false;
    }
    bool ready = false;
    for (int wait = 0; wait < ERASE_WAITS && !ready; ++wait) {
        ready = wait_tillFlashIsReady();
        if (!ready) {
            pause_(ERASE_PAUSE);
        }
    }
    if (!ready) {
        LOG_INFO(LOGGER, "Flash is not ready!!! ");
    }
    finishJob();
    return ready;
}

bool DspFlash::updateDSPflash(QString fileName) {
    setRunLine(0);
    const bool programmed = programImage(fileName);
    finishJob();
    return programmed;
}

bool DspFlash::programImage(const QString& fileName) {
    QByteArray image;
    if (!readImage(fileName, image)) {
        return false;
    }
    LOG_INFO(LOGGER, "Start programming the DSP Flash... " << image.size() << " bytes! ");
    // Beyond the flash area the addresses would reach whatever lies behind it, or wrap round onto
    // the start of the image.
    if (image.size() > PAGE_COUNT * PAGE_SIZE) {
        return false;
    }
    // The last page is filled up with erased bytes, which programming leaves as they are.
    const int pages = (image.size() + PAGE_SIZE - 1) / PAGE_SIZE;
    image.append(QByteArray(pages * PAGE_SIZE - image.size(), '\xFF'));
    for (int page = 0; page < pages; ++page) {
        const int offset = page * PAGE_SIZE;
        if (!programPage(static_cast<std::uint32_t>(offset), image.constData() + offset)) {
            return false;
        }
        if (!wait_tillFlashIsReady()) {
            LOG_INFO(LOGGER, "Flash is not ready!!! ");
            return false;
        }
    }
    return true;
}

bool DspFlash::programPage(std::uint32_t address, const char* data) {
    const std::uint8_t writeEnable = WRITE_ENABLE;
    const AddressedCommand command = addressed(PAGE_PROGRAM, address);
    spi_ioc_transfer records[] = {sending(&writeEnable, 1, true), sending(command.bytes, 4),
                                  sending(data, PAGE_SIZE)};
    return transfer(records);
}

bool DspFlash::checkDSPflash(QString fileName) {
    setRunLine(0);
    QByteArray image;
    QByteArray flash;
    if (readImage(fileName, image) && !readFlashArea(flash)) {
        return false;
    }
    finishJob();
    flash.truncate(image.size());
    if (flash != image) {
        LOG_INFO(LOGGER, "Requested DSP FW is NOT actual...");
        return false;
    }
    LOG_INFO(LOGGER, "Requested DSP FW is UP-TO-DATE");
    return true;
}

bool DspFlash::readDSPflash(QString fileName) {
    setRunLine(0);
    QByteArray flash;
    if (!readFlashArea(flash)) {
        return false;
    }
    finishJob();
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(flash) != flash.size() || !file.flush()) {
        LOG_INFO(LOGGER, "Saving the FLASH content....error!!");
        return false;
    }
    LOG_INFO(LOGGER, "Saving the FLASH content....success");
    return true;
}

bool DspFlash::readFlashArea(QByteArray& image) {
    image.reserve(PAGE_COUNT * PAGE_SIZE);
    for (int page = 0; page < PAGE_COUNT; ++page) {
        const AddressedCommand command =
            addressed(READ_DATA, static_cast<std::uint32_t>(page * PAGE_SIZE));
        char block[PAGE_SIZE] = {};
        spi_ioc_transfer records[] = {sending(command.bytes, 4), receiving(block, PAGE_SIZE)};
        if (!transfer(records)) {
            setRunLine(1);
            return false;
        }
        image.append(block, PAGE_SIZE);
        if (!wait_tillFlashIsReady()) {
            LOG_INFO(LOGGER, "Flash is not ready!!! ");
            setRunLine(1);
            return false;
        }
    }
    return true;
}

void DspFlash::setRunLine(int value) {
    hal::HwAbstractionLayer* layer =
        runLineLayer_ != nullptr ? runLineLayer_ : hal::HwAbstractionLayer::instance();
    layer->setDspRunLine(value);
}

void DspFlash::finishJob() {
    pause_(SETTLE_PAUSE);
    setRunLine(1);
}

void DspFlash::handleSPIdata() {}

} // namespace dsp_flash
