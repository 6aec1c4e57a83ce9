#include "records/QuarnDateTime.h"
#include "support/RecordBytes.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using testsupport::utc;

TEST(QuarnDateTime, ConvertsBothWays) {
    const QDateTime converted = quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME);
    EXPECT_EQ(converted, utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(converted.timeSpec(), Qt::UTC);
    // Microseconds are cut to whole milliseconds.
    EXPECT_EQ(quarnDateTimeToQDateTime({0u, 123999u}), utc(2000, 1, 1, 0, 0, 0, 123));

    const struct {
        QDateTime time;
        uint32_t seconds;
        uint32_t microseconds;
    } cases[] = {{converted, 378691200u, 0u},
                 {utc(2012, 1, 1, 0, 0, 1, 789), 378691201u, 789000u},
                 // A local time converts through UTC.
                 {QDateTime(QDate(2012, 1, 1), QTime(1, 0, 0), QTimeZone(3600)), 378691200u, 0u},
                 // Times before 2000 wrap around in the unsigned field.
                 {utc(1999, 12, 31, 23, 59, 59), 0xFFFFFFFFu, 0u}};
    for (const auto& c : cases) {
        const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(c.time);
        EXPECT_EQ(back.seconds, c.seconds) << c.time.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(back.microseconds, c.microseconds) << c.time.toString(Qt::ISODate).toStdString();
    }
}

} // namespace
