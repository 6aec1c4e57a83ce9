#include "storage/HostConfigTables.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace storage {

namespace {

// Seconds from 1601-01-01 to the date-time record's epoch, 2000-01-01.
constexpr quint64 EPOCH_1601_TO_2000_SECONDS = 12591158400u;
constexpr int HEADER_SIZE = 4;
// The unit-name table must still state its size in 16 bits.
constexpr int LONGEST_UNIT_NAME = (0xFFFF - 12) / 2 - 1;

QByteArray table(quint16 tag, int size) {
    QByteArray bytes(size, '\0');
    qToLittleEndian<quint16>(tag, bytes.data());
    qToLittleEndian<quint16>(static_cast<quint16>(size), bytes.data() + 2);
    return bytes;
}

// Host time stamps are two 32-bit words, the high word first.
void putTimeStamp(char* at, const QUARN_DATE_TIME& time) {
    const quint64 stamp = HostConfigTables::hostTimeStamp(time);
    qToLittleEndian<quint32>(static_cast<quint32>(stamp >> 32), at);
    qToLittleEndian<quint32>(static_cast<quint32>(stamp), at + 4);
}

// At most `units` UTF-16 units of the text; the rest of the field stays 0.
void putText(char* at, const QString& text, int units) {
    const int count = std::min<int>(text.size(), units);
    for (int i = 0; i < count; ++i) {
        qToLittleEndian<quint16>(text.at(i).unicode(), at + 2 * i);
    }
}

template <typename Record> const char* bytesOf(const Record& record) {
    return reinterpret_cast<const char*>(&record);
}

} // namespace

quint64 HostConfigTables::hostTimeStamp(const QUARN_DATE_TIME& time) {
    return ((time.seconds + EPOCH_1601_TO_2000_SECONDS) * 1000000u + time.microseconds) * 10u;
}

QByteArray HostConfigTables::downloadInfo(const SESSION_CONFIG& sessionConfig) {
    QByteArray bytes = table(DOWNLOAD_INFO_TAG, DOWNLOAD_INFO_SIZE);
    qToLittleEndian<qint32>(sessionConfig.timing.duration(), bytes.data() + 28);
    return bytes;
}

QByteArray HostConfigTables::unitName(const QString& name) {
    const int units = std::min<int>(name.size(), LONGEST_UNIT_NAME);
    QByteArray bytes = table(UNIT_NAME_TAG, 12 + 2 * (units + 1));
    putText(bytes.data() + 12, name, units);
    return bytes;
}

QByteArray
HostConfigTables::energySettings(const SESSION_CONFIG& sessionConfig,
                                 const ADCO_DSP_CONFIG& dspConfig,
                                 const ADCO_DSP_PROBE_CONFIG& probeConfig,
                                 const quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    QByteArray bytes = table(ENERGY_SETTINGS_TAG, ENERGY_SETTINGS_SIZE);
    char* const out = bytes.data();
    const char* const dsp = bytesOf(dspConfig);
    putTimeStamp(out + 4, dspConfig.dateTime);
    // The DSP set-up is little-endian like the table, so its fields move as bytes: the two codes
    // at 8, the two intervals at 12, six 16-bit values at 20, twelve words at 32, nine 16-bit
    // values at 80.
    std::memcpy(out + 12, dsp + 8, 12);
    std::memcpy(out + 24, dsp + 20, 12);
    std::memcpy(out + 36, dsp + 32, 48);
    std::memcpy(out + 84, dsp + 80, 18);
    // The first three probes, each entry whole (its 32 bytes, then its fields at 32 to 43).
    for (int probe = 0; probe < 3; ++probe) {
        std::memcpy(out + 104 + probe * 44, bytesOf(probeConfig.probes[probe]), 44);
    }
    qToLittleEndian<float>(sessionConfig.energySetting, out + 236);
    using quarn_system::InstrumentConfig::auxInputDefinition;
    putText(out + 240,
            quarn_system::wideText(
                auxInputDefinition(instrumentConfig, instrumentConfig.aux1InputType)->name),
            7);
    putText(out + 256,
            quarn_system::wideText(
                auxInputDefinition(instrumentConfig, instrumentConfig.aux2InputType)->name),
            7);
    putTimeStamp(out + 272, quarnDateTimeFromQDateTime(sessionConfig.timing.startTime()));
    putTimeStamp(out + 280, quarnDateTimeFromQDateTime(sessionConfig.timing.plannedEndTime()));
    putText(out + 288, sessionConfig.description, 127);
    putText(out + 544, sessionConfig.name, 31);
    qToLittleEndian<quint16>(dspConfig.word98, out + 610);
    putText(out + 612, quarn_system::wideText(instrumentConfig.timeZone), 63);
    return bytes;
}

} // namespace storage
