// Any bytes as the fuel gauge's seven attribute files, each missing, empty, huge or garbage:
// a reading always yields a well-formed record (texts cut and terminated, a known charge state,
// external power whenever no battery is present).

#include "FuzzLogging.h"
#include "FuzzScratch.h"

#include "BatteryStatus.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string& scratch() {
    return fuzzScratch("battery");
}

bool terminated(const char (&text)[32]) {
    for (char c : text) {
        if (c == '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceLogging();
    scratch();
    return 0;
}

// Per file one byte: 0xFF the file is missing, 0xFE it holds 64 KiB of the next byte, otherwise
// that many bytes of content follow.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static power_manager::BatteryStatus monitor;
    monitor.setPowerSupplyDirectory(QString::fromStdString(scratch()));
    const char* const files[] = {"present",     "status",      "capacity", "type",
                                 "current_now", "voltage_now", "temp"};
    size_t at = 0;
    for (const char* name : files) {
        const QString path = QString::fromStdString(scratch()) + name;
        const unsigned control = at < size ? data[at++] : 0xFF;
        if (control == 0xFF) {
            QFile::remove(path);
            continue;
        }
        QByteArray content;
        if (control == 0xFE) {
            content.fill(at < size ? static_cast<char>(data[at++]) : '7', 65536);
        } else {
            const size_t length = std::min<size_t>(control, size - at);
            content = QByteArray(reinterpret_cast<const char*>(data + at),
                                 static_cast<qsizetype>(length));
            at += length;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(content) != content.size()) {
            std::abort();
        }
    }
    const quarn_system::BATTERY_STATUS status = monitor.readBatteryStatus();
    if (!terminated(status.status) || !terminated(status.type) || status.chargeState < 0 ||
        status.chargeState > quarn_system::CHARGE_STATE_UNKNOWN ||
        (!status.present && !status.externalPower)) {
        std::abort();
    }
    return 0;
}
