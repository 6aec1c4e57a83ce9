#include "records/QuarnDateTime.h"

QDateTime quarnDateTimeToQDateTime(const QUARN_DATE_TIME& dateTime) {
    const qint64 unixSeconds = static_cast<qint64>(dateTime.seconds) + QUARN_EPOCH_UNIX_SECONDS;
    // Sub-millisecond parts are dropped, as the peers do.
    const qint64 milliseconds = static_cast<qint64>(dateTime.microseconds / 1000.0);
    return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC).addMSecs(milliseconds);
}

QUARN_DATE_TIME quarnDateTimeFromQDateTime(const QDateTime& dateTime) {
    const QDateTime utc = dateTime.toUTC();
    // Times before 2000 wrap around in the unsigned field, as they do on the instrument.
    const qint64 seconds = utc.toSecsSinceEpoch() - QUARN_EPOCH_UNIX_SECONDS;
    QUARN_DATE_TIME result;
    result.seconds = static_cast<uint32_t>(static_cast<uint64_t>(seconds));
    result.microseconds = static_cast<uint32_t>(utc.time().msec()) * 1000u;
    return result;
}
