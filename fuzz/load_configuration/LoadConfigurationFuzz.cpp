// Any bytes as a session's configuration file: loading never reads past the data and never
// allocates beyond it, and what loads converts into the host's configuration tables.

#include "FuzzLogging.h"

#include "storage/FileDataStorage.h"
#include "storage/HostConfigTables.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer device;
    device.setData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    device.open(QIODevice::ReadOnly);
    SESSION_CONFIG sessionConfig = defaultSessionConfig();
    ADCO_DSP_CONFIG dspConfig = DEFAULT_DSP_CONFIG;
    ADCO_DSP_PROBE_CONFIG probeConfig = DEFAULT_DSP_PROBE_CONFIG;
    quarn_system::INSTRUMENT_CONFIG instrumentConfig = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    if (!storage::FileDataStorage::loadConfiguration(device, sessionConfig, dspConfig, probeConfig,
                                                     instrumentConfig)) {
        return 0;
    }
    using storage::HostConfigTables;
    if (HostConfigTables::downloadInfo(sessionConfig).size() !=
            HostConfigTables::DOWNLOAD_INFO_SIZE ||
        HostConfigTables::energySettings(sessionConfig, dspConfig, probeConfig, instrumentConfig)
                .size() != HostConfigTables::ENERGY_SETTINGS_SIZE) {
        std::abort();
    }
    return 0;
}
