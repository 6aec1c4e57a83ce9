#pragma once

#include <QDataStream>
#include <QDateTime>
#include <QPair>

namespace session {

// When a logging session starts and ends and at which intervals it records. The start is either
// "now" or scheduled and is kept on the grid of the shorter recording interval; the end is either
// derived from a duration mode or fixed by the user, and derived durations are kept within what
// the data partition can hold.
class SessionTiming {
public:
    // Duration modes; the seconds of each are in secondsForMode.
    enum DurationMode {
        DURATION_MAX_STORAGE = 0,
        DURATION_CUSTOM = 1,
        DURATION_10_MINUTES = 2,
        DURATION_30_MINUTES = 3,
        DURATION_1_HOUR = 4,
        DURATION_1_DAY = 5,
        DURATION_1_WEEK = 6,
        DURATION_4_WEEKS = 7,
        DURATION_30_DAYS = 8,
        DURATION_12_WEEKS = 9
    };

    static constexpr int DEFAULT_DURATION_MODE = DURATION_1_WEEK;
    static constexpr int DEFAULT_TREND_INTERVAL = 60;
    static constexpr int DEFAULT_DEMAND_INTERVAL = 300;
    // A custom duration without a fixed end never reports less than this.
    static constexpr int MIN_CUSTOM_DURATION = 3600;

    // (true, time): the start or end given by the user; (false, ignored): derived.
    using Choice = QPair<bool, QDateTime>;
    using Clock = QDateTime (*)();

    SessionTiming();
    SessionTiming(int durationMode, int trendInterval, int demandInterval, int customDuration);
    SessionTiming(const QDateTime& start, int durationMode, int trendInterval, int demandInterval,
                  int customDuration);
    SessionTiming(const SessionTiming& other);
    virtual ~SessionTiming();

    // Does nothing when `other` compares equal, so intervals that differ alone are not taken.
    SessionTiming& operator=(const SessionTiming& other);
    // The intervals are not compared.
    bool operator==(const SessionTiming& other) const;
    bool operator!=(const SessionTiming& other) const { return !(*this == other); }

    void setDuration(int mode, int custom);
    void setScheduledStart(const QDateTime& start, int mode, int custom);
    void setIntervals(int trend, int demand);
    void setFixedEnd(const QDateTime& end);
    void setScheduledPeriod(const QDateTime& start, const QDateTime& end);
    void setCustomDuration(int seconds);
    void changeDuration(int mode, int custom);
    void update(const Choice& start, const Choice& end);
    void setPlannedEndTime(const QDateTime& end);

    void recalculateStart(bool updateEnd);
    void recalculateEnd();
    void limitDurationToStorage();

    int duration() const;
    int maxAllowedDuration(int trend, int demand) const;
    bool isStartInFuture() const;

    const QDateTime& startTime() const { return m_startTime; }
    const QDateTime& plannedEndTime() const { return m_plannedEndTime; }
    bool scheduledStart() const { return m_scheduledStart; }
    int durationMode() const { return m_durationMode; }
    int customDuration() const { return m_customDuration; }
    bool fixedEnd() const { return m_fixedEnd; }
    int trendInterval() const { return m_trendInterval; }
    int demandInterval() const { return m_demandInterval; }

    // The first grid point (step seconds apart from the midnight of t's date) at or after t; a
    // point less than a second ahead of now is skipped, as nothing could start on it in time.
    static QDateTime alignToInterval(const QDateTime& t, int step);
    static int maxDurationForStorage(int trend, int demand);
    static int recommendedStep(int seconds);
    static int recommendedStep(int seconds, int demandInterval);

    // The current UTC time as every session calculation sees it. Tests replace the clock to put
    // "now" where an alignment case needs it; null restores the system clock.
    static QDateTime currentDateTimeUtc();
    static void setClock(Clock clock);

    friend QDataStream& operator<<(QDataStream& stream, const SessionTiming& timing);
    friend QDataStream& operator>>(QDataStream& stream, SessionTiming& timing);

private:
    int secondsForMode() const;
    int alignmentStep() const;

    QDateTime m_startTime;
    QDateTime m_plannedEndTime;
    bool m_scheduledStart = false;
    qint32 m_durationMode = DEFAULT_DURATION_MODE;
    qint32 m_customDuration = 0;
    bool m_fixedEnd = false;
    qint32 m_trendInterval = DEFAULT_TREND_INTERVAL;
    qint32 m_demandInterval = DEFAULT_DEMAND_INTERVAL;
};

QDataStream& operator<<(QDataStream& stream, const SessionTiming& timing);
QDataStream& operator>>(QDataStream& stream, SessionTiming& timing);

} // namespace session
