#include "records/QuarnDateTime.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int msec = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

TEST(QuarnDateTime, DefaultIsTheFirstSecondOf2012Utc) {
    const QDateTime converted = quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME);
    EXPECT_EQ(converted, utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(converted.timeSpec(), Qt::UTC);

    const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(converted);
    EXPECT_EQ(back.seconds, 378691200u);
    EXPECT_EQ(back.microseconds, 0u);
}

TEST(QuarnDateTime, MicrosecondsAreCutToWholeMilliseconds) {
    const QUARN_DATE_TIME record = {0u, 123999u};
    EXPECT_EQ(quarnDateTimeToQDateTime(record), utc(2000, 1, 1, 0, 0, 0, 123));

    const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(utc(2012, 1, 1, 0, 0, 1, 789));
    EXPECT_EQ(back.seconds, 378691201u);
    EXPECT_EQ(back.microseconds, 789000u);
}

TEST(QuarnDateTime, LocalTimesConvertThroughUtc) {
    const QDateTime plusOneHour(QDate(2012, 1, 1), QTime(1, 0, 0), QTimeZone(3600));
    EXPECT_EQ(quarnDateTimeFromQDateTime(plusOneHour), DEFAULT_QUARN_DATE_TIME);
}

TEST(QuarnDateTime, TimesBefore2000WrapAroundInTheUnsignedField) {
    const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(utc(1999, 12, 31, 23, 59, 59));
    EXPECT_EQ(back.seconds, 0xFFFFFFFFu);
}

} // namespace
