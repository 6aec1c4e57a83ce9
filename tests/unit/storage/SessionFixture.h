#pragma once

// A session storage over a temporary sessions directory with a semaphore name of its own, and
// one hand-worked configuration with its file image.

#include "FakeFileSystemCalls.h"

#include "session/SessionTiming.h"
#include "storage/FileDataStorage.h"
#include "support/LogCapture.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstring>

namespace storagetest {

inline QByteArray hex(const char* digits) {
    return QByteArray::fromHex(QByteArray(digits));
}

// Default DSP set-up made 2012-01-01 00:00:00 UTC, intervals 60 s and 300 s.
const QByteArray DSP_IMAGE = hex("805e921600000000"
                                 "010005003c0000002c010000"
                                 "0000010002000000"
                                 "01000200"
                                 "0000e64200007042"
                                 "0000803f0000803f0000803f0000803f0000803f0000803f0000803f"
                                 "000000000000803f00000000"
                                 "ffffffffffffffffffffffff00000000"
                                 "00000100"
                                 "00000000000000000000803fffffffff"
                                 "0000000000000000000000000000000000000000");
// One probe entry without a probe: 0xFFFE at byte 36.
const QByteArray PROBE_IMAGE = QByteArray(36, '\0') + hex("feff0000") + QByteArray(4, '\0');
// Zeroed settings but time zone "UTC" and the °F and °C auxiliary inputs.
const QByteArray INSTRUMENT_IMAGE = QByteArray(48, '\0') + hex("550000005400000043000000") +
                                    QByteArray(244, '\0') + hex("feffffffffffffff") +
                                    QByteArray(604, '\0');
// Energy setting 0.5 as a double; scheduled start 2012-01-01 00:00 (Julian day 2455928, 0 ms,
// UTC), end 00:10 (600000 ms), mode 2, no custom duration, no fixed end, 60 s and 300 s; then
// the description "Hi" and the name "S1" as UTF-16 with their byte lengths.
const QByteArray SESSION_CONFIG_IMAGE = hex("3fe0000000000000"
                                            "01"
                                            "002579780000000002"
                                            "00257978000927c002"
                                            "0000000200000000000000003c0000012c"
                                            "0000000400480069"
                                            "0000000400530031");
const QByteArray CONFIG_FILE =
    DSP_IMAGE + PROBE_IMAGE.repeated(4) + INSTRUMENT_IMAGE + SESSION_CONFIG_IMAGE;

struct SessionRecords {
    SESSION_CONFIG session = defaultSessionConfig();
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    ADCO_DSP_PROBE_CONFIG probe = DEFAULT_DSP_PROBE_CONFIG;
    quarn_system::INSTRUMENT_CONFIG instrument{};
};

template <typename Record> QByteArray image(const Record& record) {
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof record);
}

inline SessionRecords handWorkedRecords() {
    SessionRecords r;
    r.session.energySetting = 0.5f;
    r.session.timing =
        session::SessionTiming(QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC), 2, 60, 300, 0);
    r.session.description = "Hi";
    r.session.name = "S1";
    std::memcpy(&r.dsp, DSP_IMAGE.constData(), sizeof r.dsp);
    std::memcpy(&r.instrument, INSTRUMENT_IMAGE.constData(), sizeof r.instrument);
    return r;
}

class SessionFixture : public StorageFixture {
protected:
    bool create(const QString& name) {
        return storage.create(name, records.session, records.dsp, records.probe,
                              records.instrument);
    }
    bool reopen(const QString& name, SessionRecords& into) {
        return storage.reopen(name, into.session, into.dsp, into.probe, into.instrument);
    }
    QByteArray fileBytes(const QString& name) {
        QFile file(sessionsDir + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    }

    const QString sessionsDir = baseDir + "sessions/";
    const QString semaphoreKey = QStringLiteral("quarn-storage-test-%1-%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QRandomGenerator::global()->generate());
    storage::FileDataStorage storage{sessionsDir, semaphoreKey};
    SessionRecords records = handWorkedRecords();
};

} // namespace storagetest
