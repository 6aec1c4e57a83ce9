#include "hal/Melody.h"

#include "foundation/Log.h"
#include "hal/DeviceFile.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace melody {

namespace {

const char* const LOGGER = "spi_logger";

// The type record: byte 0 is 1, bytes 1 to 3 are zero, bytes 4 to 7 hold the type, little-endian
// on every host.
struct TypeRecord {
    unsigned char bytes[8];
};
static_assert(sizeof(TypeRecord) == 8, "the driver copies exactly 8 bytes");

TypeRecord typeRecord(unsigned int type) {
    const std::uint32_t value = type;
    return TypeRecord{
        {1, 0, 0, 0, static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
         static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)}};
}

} // namespace

const char* const Melody::MELODY_DEVICE_NAME = "/dev/mldalm";
const unsigned long Melody::MELODY_SET_TYPE = _IOW('m', 0, TypeRecord);
const unsigned long Melody::MELODY_RUN = _IOW('m', 1, unsigned char);
static_assert(_IOW('m', 0, TypeRecord) == 0x40086D00, "MELODY_SET_TYPE");
static_assert(_IOW('m', 1, unsigned char) == 0x40016D01, "MELODY_RUN");

Melody::Melody()
    : Melody(std::make_unique<hal::DeviceFile>(), MELODY_DEVICE_NAME, hal::sleepFor) {}

Melody::Melody(std::unique_ptr<hal::IoctlDevice> device, std::string devicePath, hal::Pause pause)
    : QObject(nullptr)
    , device_(std::move(device))
    , devicePath_(std::move(devicePath))
    , pause_(std::move(pause)) {
    melodyInit();
}

Melody::~Melody() {
    device_->close();
}

void Melody::melodyInit() {
    sound(INIT_TYPE, std::nullopt);
}

void Melody::melodyPlay(unsigned int type, unsigned int durationMs) {
    sound(type, std::chrono::microseconds(static_cast<std::int64_t>(durationMs) * 1000));
}

void Melody::sound(unsigned int type, std::optional<std::chrono::microseconds> duration) {
    // A device that cannot be opened is not reported itself: each request then fails and says so.
    device_->open(devicePath_);
    TypeRecord record = typeRecord(type);
    request(MELODY_SET_TYPE, &record, "Melody type cannot be sent -> ");
    std::int32_t run = 1;
    request(MELODY_RUN, &run, "Melody START cannot be sent -> ");
    if (duration) {
        pause_(*duration);
    }
    run = 0;
    request(MELODY_RUN, &run, "Melody STOP cannot be sent -> ");
    device_->close();
}

void Melody::request(unsigned long code, void* argument, const char* errorText) {
    if (device_->ioctl(code, argument) < 0) {
        const int error = errno;
        LOG_ERROR(LOGGER, errorText << "ERRNO : " << error);
    }
}

} // namespace melody
