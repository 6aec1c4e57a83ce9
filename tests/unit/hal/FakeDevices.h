#pragma once

// Devices and a GPIO tree for the hardware layer's tests, so that none of them opens anything
// under /dev or /sys.

#include "hal/HwAbstractionLayerQuarn.h"

#include <QDir>
#include <QTemporaryDir>

#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace halTest {

using Journal = std::vector<std::string>;

inline std::string hex(const void* bytes, std::size_t count) {
    return QByteArray(static_cast<const char*>(bytes), static_cast<int>(count))
        .toHex()
        .toStdString();
}

// Writes each call into the journal: "open /dev/mldalm", "ioctl 40086d00 01000000d0070000" (the
// argument's bytes as far as the request code's size reaches, what a driver copies), "close".
// Requests fail with EBADF while nothing is open, as on a descriptor.
class RecordingDevice : public hal::IoctlDevice {
public:
    explicit RecordingDevice(Journal& journal)
        : journal(journal) {}
    bool open(const std::string& path) override {
        journal.push_back("open " + path);
        return isOpen = true;
    }
    int ioctl(unsigned long request, void* argument) override {
        journal.push_back("ioctl " + QByteArray::number(qulonglong(request), 16).toStdString() +
                          " " + hex(argument, _IOC_SIZE(request)));
        errno = isOpen ? 0 : EBADF;
        return isOpen ? 0 : -1;
    }
    void close() override {
        journal.push_back("close");
        isOpen = false;
    }

    Journal& journal;
    bool isOpen = false;
};

// A serial NOR flash behind spidev, from the common command set: write enable 06, chip erase C7,
// page program 02, read data 03, read status 05 (bit 0 busy, bit 1 write enabled), with 24-bit
// addresses most significant byte first. A message's records are clocked through byte by byte;
// the chip is released after a record with cs_change (but the last) and at the end of the
// message. Write enable, erase and program act on release; erase and program need the latch and
// clear it; while busy (erasePolls or programPolls status reads) only read status is heard. A
// program only clears bits and wraps round in its 256-byte page; reads run on from any address;
// undriven bytes read 0xFF. A record that sets a field other than the buffers, length and
// cs_change is refused (EINVAL), message number failMessage fails (EIO), and other requests are
// recorded.
class NorFlashModel : public RecordingDevice {
public:
    using RecordingDevice::RecordingDevice;

    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(0x40000, 0xFF);
    long erasePolls = 3, programPolls = 1, busyPolls = 0, statusReads = 0;
    int messages = 0, failMessage = -1;
    Journal selections; // the bytes sent in each chip-select period

    int ioctl(unsigned long request, void* argument) override {
        if (_IOC_TYPE(request) != SPI_IOC_MAGIC || _IOC_NR(request) != 0) {
            return RecordingDevice::ioctl(request, argument);
        }
        const auto* records = static_cast<const spi_ioc_transfer*>(argument);
        const std::size_t count = _IOC_SIZE(request) / sizeof *records;
        const bool bare = std::all_of(records, records + count, [](spi_ioc_transfer r) {
            const spi_ioc_transfer zero{};
            r.tx_buf = r.rx_buf = r.len = r.cs_change = 0;
            return std::memcmp(&r, &zero, sizeof r) == 0;
        });
        if (!bare || messages++ == failMessage) {
            errno = bare ? EIO : EINVAL;
            return -1;
        }
        for (std::size_t index = 0; index < count; ++index) {
            const spi_ioc_transfer& r = records[index];
            const auto* sent = reinterpret_cast<const std::uint8_t*>(r.tx_buf);
            for (std::uint32_t at = 0; at < r.len; ++at) {
                const std::uint8_t out = clock(sent != nullptr ? sent[at] : 0);
                if (r.rx_buf != 0) {
                    reinterpret_cast<std::uint8_t*>(r.rx_buf)[at] = out;
                }
            }
            if ((r.cs_change != 0) != (index + 1 == count)) {
                release();
            }
        }
        return 0;
    }

private:
    std::uint32_t address(std::size_t offset = 0) const {
        return ((period[1] << 16 | period[2] << 8 | period[3]) + offset) % memory.size();
    }

    std::uint8_t clock(std::uint8_t in) {
        period.push_back(in);
        const bool busy = busyPolls > 0;
        if (period[0] == 0x05 && period.size() > 1) {
            ++statusReads;
            busyPolls -= busy ? 1 : 0;
            return (busy ? 0x01 : 0) | (writeEnabled ? 0x02 : 0);
        }
        return period[0] == 0x03 && period.size() > 4 && !busy ? memory[address(period.size() - 5)]
                                                               : 0xFF;
    }

    void release() {
        const std::size_t n = period.size();
        const bool heard = busyPolls == 0 && n > 0, write = heard && writeEnabled;
        if (heard && period[0] == 0x06 && n == 1) {
            writeEnabled = true;
        } else if (write && period[0] == 0xC7 && n == 1) {
            memory.assign(memory.size(), 0xFF);
            writeEnabled = false;
            busyPolls = erasePolls;
        } else if (write && period[0] == 0x02 && n > 4) {
            for (std::size_t at = 4; at < n; ++at) {
                memory[(address() & ~0xFFu) | ((address() + at - 4) & 0xFF)] &= period[at];
            }
            writeEnabled = false;
            busyPolls = programPolls;
        }
        selections.push_back(hex(period.data(), n));
        period.clear();
    }

    std::vector<std::uint8_t> period;
    bool writeEnabled = false;
};

// Devices for a layer under test, recording into journal, with the pauses as "pause <µs>".
inline hal::HwAbstractionLayerQuarn::Devices recordingDevices(Journal& journal) {
    return {std::make_unique<RecordingDevice>(journal), std::make_unique<RecordingDevice>(journal),
            [&journal](std::chrono::microseconds pause) {
                journal.push_back("pause " + std::to_string(pause.count()));
            }};
}

// A temporary directory of plain files standing in for /sys/class/gpio. Exporting a line creates
// nothing here, so every line's attribute files exist from the start, empty.
struct GpioTree : QTemporaryDir {
    GpioTree() {
        for (const char* line : {"gpio2", "gpio48", "gpio51", "gpio49", "gpio143"}) {
            EXPECT_TRUE(QDir(path()).mkpath(line));
            for (const char* file : {"/value", "/direction", "/active_low", "/edge"}) {
                write(line + std::string(file), "");
            }
        }
        write("export", "");
        write("unexport", "");
    }
    std::string root() const { return path().toStdString(); }
    // A new, truncating open: the code's streams keep their own positions, so a later write
    // through them would show up behind this content.
    void write(const std::string& file, const std::string& text) const {
        std::ofstream(root() + "/" + file) << text;
    }
    std::string read(const std::string& file) const {
        std::ifstream in(root() + "/" + file);
        return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
    }
};

} // namespace halTest
