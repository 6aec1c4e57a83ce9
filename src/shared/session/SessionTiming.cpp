#include "session/SessionTiming.h"

#include "foundation/Log.h"
#include "records/QuarnDateTime.h"
#include "session/IStorageSpace.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>

namespace session {

namespace {

constexpr int SECONDS_PER_DAY = 86400;
constexpr int FALLBACK_DURATION_MODE = SessionTiming::DURATION_1_WEEK;
constexpr int LAST_DURATION_MODE = SessionTiming::DURATION_12_WEEKS;

// Recording steps offered for a planned duration, shortest first.
constexpr int RECOMMENDED_STEPS[] = {1, 5, 10, 30, 60, 300, 600, 900, 1800};
constexpr int LONGEST_RECOMMENDED_STEP = 1800;

// Constant-initialised, so a timing built during static initialisation already sees it.
std::atomic<SessionTiming::Clock> s_clock{nullptr};

int clampToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

// One answer from the storage layer, asked at most once per calculation: every question costs a
// remount and a statvfs of the data partition.
class StorageQuery {
public:
    StorageQuery()
        : m_provider(IStorageSpace::installed()) {}

    qint64 freeBytes() {
        if (!m_asked) {
            m_asked = true;
            m_free = m_provider ? std::max<qint64>(0, m_provider->freeBytes()) : 0;
        }
        return m_free;
    }

    int maxDuration(int trend, int demand) {
        return m_provider ? m_provider->maxDurationForBytes(freeBytes(), trend, demand) : 0;
    }

    bool fits(int seconds, int trend, int demand) {
        return m_provider && m_provider->bytesNeeded(seconds, trend, demand) <= freeBytes();
    }

private:
    std::shared_ptr<IStorageSpace> m_provider;
    bool m_asked = false;
    qint64 m_free = 0;
};

} // namespace

SessionTiming::SessionTiming()
    : m_startTime(quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME)) {
    recalculateEnd();
}

SessionTiming::SessionTiming(int durationMode, int trendInterval, int demandInterval,
                             int customDuration)
    : m_startTime(quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME))
    , m_durationMode(durationMode)
    , m_customDuration(customDuration)
    , m_trendInterval(trendInterval)
    , m_demandInterval(demandInterval) {
    setDuration(durationMode, customDuration);
}

SessionTiming::SessionTiming(const QDateTime& start, int durationMode, int trendInterval,
                             int demandInterval, int customDuration)
    : m_startTime(start)
    , m_durationMode(durationMode)
    , m_customDuration(customDuration)
    , m_trendInterval(trendInterval)
    , m_demandInterval(demandInterval) {
    setScheduledStart(start, durationMode, customDuration);
}

SessionTiming::SessionTiming(const SessionTiming& other) = default;

SessionTiming::~SessionTiming() = default;

SessionTiming& SessionTiming::operator=(const SessionTiming& other) {
    if (this == &other || *this == other) {
        return *this;
    }
    m_startTime = other.m_startTime;
    m_plannedEndTime = other.m_plannedEndTime;
    m_scheduledStart = other.m_scheduledStart;
    m_durationMode = other.m_durationMode;
    m_customDuration = other.m_customDuration;
    m_fixedEnd = other.m_fixedEnd;
    m_trendInterval = other.m_trendInterval;
    m_demandInterval = other.m_demandInterval;
    return *this;
}

bool SessionTiming::operator==(const SessionTiming& other) const {
    return m_startTime == other.m_startTime && m_plannedEndTime == other.m_plannedEndTime &&
           m_scheduledStart == other.m_scheduledStart && m_durationMode == other.m_durationMode &&
           m_customDuration == other.m_customDuration && m_fixedEnd == other.m_fixedEnd;
}

void SessionTiming::setDuration(int mode, int custom) {
    m_durationMode = mode;
    m_customDuration = custom;
    m_scheduledStart = false;
    m_fixedEnd = false;
    recalculateStart(false);
    recalculateEnd();
}

void SessionTiming::setScheduledStart(const QDateTime& start, int mode, int custom) {
    m_durationMode = mode;
    m_customDuration = custom;
    m_scheduledStart = true;
    m_fixedEnd = false;
    m_startTime = start;
    recalculateStart(false);
    recalculateEnd();
}

void SessionTiming::setIntervals(int trend, int demand) {
    m_trendInterval = trend;
    m_demandInterval = demand;
    recalculateStart(true);
    limitDurationToStorage();
}

void SessionTiming::setFixedEnd(const QDateTime& end) {
    m_scheduledStart = false;
    m_customDuration = 0;
    m_fixedEnd = true;
    m_durationMode = DURATION_CUSTOM;
    recalculateStart(false);
    setPlannedEndTime(end);
}

void SessionTiming::setScheduledPeriod(const QDateTime& start, const QDateTime& end) {
    m_scheduledStart = true;
    m_fixedEnd = true;
    m_durationMode = DURATION_CUSTOM;
    m_customDuration = 0;
    m_startTime = start;
    recalculateStart(false);
    setPlannedEndTime(end);
}

void SessionTiming::setCustomDuration(int seconds) {
    if (m_durationMode == DURATION_CUSTOM && !m_fixedEnd && m_customDuration == seconds) {
        return;
    }
    m_customDuration = seconds;
    m_fixedEnd = false;
    m_durationMode = DURATION_CUSTOM;
    recalculateEnd();
}

void SessionTiming::changeDuration(int mode, int custom) {
    if (mode != m_durationMode) {
        m_durationMode = mode;
        m_customDuration = custom;
        if (mode != DURATION_CUSTOM) {
            m_fixedEnd = false;
            recalculateEnd();
            return;
        }
    } else {
        // Only the custom mode uses the custom duration, so another mode merely keeps it.
        if (mode != DURATION_CUSTOM) {
            m_customDuration = custom;
            return;
        }
        if (m_customDuration == custom) {
            return;
        }
        m_customDuration = custom;
    }
    if (m_fixedEnd) {
        setPlannedEndTime(m_plannedEndTime);
    } else {
        recalculateEnd();
    }
}

void SessionTiming::update(const Choice& start, const Choice& end) {
    if (m_scheduledStart != start.first) {
        m_scheduledStart = start.first;
        if (start.first) {
            m_startTime = start.second;
        }
        recalculateStart(true);
    } else if (start.first) {
        const bool changed = m_startTime != start.second;
        m_startTime = start.second;
        if (changed) {
            recalculateStart(true);
        }
    }

    if (end.first) {
        const bool wasFixed = m_fixedEnd;
        const bool wasCustom = m_durationMode == DURATION_CUSTOM;
        const bool changed = m_plannedEndTime != end.second;
        m_fixedEnd = true;
        m_durationMode = DURATION_CUSTOM;
        m_plannedEndTime = end.second;
        if (!wasFixed || !wasCustom || changed) {
            setPlannedEndTime(end.second);
        }
    } else if (m_fixedEnd) {
        m_fixedEnd = false;
        recalculateEnd();
    }
}

void SessionTiming::setPlannedEndTime(const QDateTime& end) {
    if (m_startTime < end) {
        m_plannedEndTime = end;
        return;
    }
    LOG_WARN("session_logger", "Session end time " << m_plannedEndTime.toString()
                                                   << " was changed to " << m_startTime.toString()
                                                   << ".");
    m_plannedEndTime = m_startTime;
}

void SessionTiming::recalculateStart(bool updateEnd) {
    const QDateTime taken = m_scheduledStart ? m_startTime : currentDateTimeUtc();
    m_startTime = alignToInterval(taken, alignmentStep());
    if (updateEnd) {
        if (m_fixedEnd) {
            setPlannedEndTime(m_plannedEndTime);
        }
        recalculateEnd();
    }
}

void SessionTiming::recalculateEnd() {
    // A custom mode without a duration is the fixed-end regime: the end stays where it was put.
    if (m_durationMode == DURATION_CUSTOM && m_customDuration < 1) {
        return;
    }
    const int seconds = secondsForMode();
    // Whole days are added as calendar days so a one-day session ends at the same time of day.
    if (m_durationMode != DURATION_MAX_STORAGE && seconds % SECONDS_PER_DAY == 0) {
        m_plannedEndTime = m_startTime.addDays(seconds / SECONDS_PER_DAY);
    } else {
        m_plannedEndTime = m_startTime.addMSecs(static_cast<qint64>(seconds) * 1000);
    }
}

void SessionTiming::limitDurationToStorage() {
    const int current = duration();
    const int allowed = maxAllowedDuration(m_trendInterval, m_demandInterval);
    if (m_durationMode != DURATION_MAX_STORAGE) {
        if (current <= allowed) {
            return;
        }
        m_customDuration = allowed;
        m_durationMode = DURATION_CUSTOM;
        recalculateEnd();
    } else if (current != allowed) {
        recalculateEnd();
    }
}

int SessionTiming::duration() const {
    const int seconds = clampToInt(m_startTime.msecsTo(m_plannedEndTime) / 1000.0);
    if (m_durationMode == DURATION_CUSTOM && !m_fixedEnd) {
        return std::max(seconds, MIN_CUSTOM_DURATION);
    }
    return seconds;
}

int SessionTiming::maxAllowedDuration(int trend, int demand) const {
    StorageQuery storage;
    const int current = duration();
    if (storage.fits(current, trend, demand) && m_durationMode != DURATION_MAX_STORAGE) {
        return current;
    }
    return storage.maxDuration(trend, demand);
}

bool SessionTiming::isStartInFuture() const {
    return currentDateTimeUtc().secsTo(m_startTime) > 0;
}

QDateTime SessionTiming::alignToInterval(const QDateTime& t, int step) {
    // There is no grid without a positive step, and no date to lay it on for an invalid time.
    if (step < 1 || !t.isValid()) {
        return t;
    }
    const qint64 ms = t.toMSecsSinceEpoch();
    // The grid starts at the local midnight of t's date: Qt 4's QDateTime(QDate) is local time,
    // and the peers align with that same base.
    const qint64 base = t.date().startOfDay().toMSecsSinceEpoch();
    const qint64 stepMs = static_cast<qint64>(step) * 1000;
    // Single precision as the peers compute it: past about 4.6 hours from midnight the float
    // drops the last milliseconds, so a time just after a grid point can round onto it.
    const float steps = std::ceil(static_cast<float>(ms - base) / static_cast<float>(stepMs));
    if (!(steps >= -2147483648.0f && steps < 2147483648.0f)) {
        return t;
    }
    qint64 result = base + static_cast<qint64>(static_cast<qint32>(steps)) * stepMs;
    const qint64 now = currentDateTimeUtc().toMSecsSinceEpoch();
    if (now < result && now + 999 >= result) {
        result += stepMs;
    }
    return QDateTime::fromMSecsSinceEpoch(result, Qt::UTC);
}

int SessionTiming::maxDurationForStorage(int trend, int demand) {
    StorageQuery storage;
    return storage.maxDuration(trend, demand);
}

int SessionTiming::recommendedStep(int seconds) {
    if (seconds < 14400) {
        return 1;
    }
    if (seconds < 86400) {
        return 5;
    }
    if (seconds < 172800) {
        return 10;
    }
    if (seconds < 518400) {
        return 30;
    }
    if (seconds < 1036800) {
        return 60;
    }
    if (seconds < 5184000) {
        return 300;
    }
    if (seconds < 10368000) {
        return 600;
    }
    if (seconds < 15552000) {
        return 900;
    }
    return LONGEST_RECOMMENDED_STEP;
}

int SessionTiming::recommendedStep(int seconds, int demandInterval) {
    const int* step = std::find(std::begin(RECOMMENDED_STEPS), std::end(RECOMMENDED_STEPS),
                                recommendedStep(seconds));
    StorageQuery storage;
    while (*step != LONGEST_RECOMMENDED_STEP &&
           seconds > storage.maxDuration(*step, demandInterval)) {
        ++step;
    }
    return *step;
}

QDateTime SessionTiming::currentDateTimeUtc() {
    const Clock clock = s_clock.load();
    return clock ? clock().toUTC() : QDateTime::currentDateTimeUtc();
}

void SessionTiming::setClock(Clock clock) {
    s_clock.store(clock);
}

int SessionTiming::secondsForMode() const {
    switch (m_durationMode) {
    case DURATION_MAX_STORAGE:
        return maxDurationForStorage(m_trendInterval, m_demandInterval);
    case DURATION_CUSTOM:
        return m_customDuration;
    case DURATION_10_MINUTES:
        return 600;
    case DURATION_30_MINUTES:
        return 1800;
    case DURATION_1_HOUR:
        return 3600;
    case DURATION_1_DAY:
        return 86400;
    case DURATION_1_WEEK:
        return 604800;
    case DURATION_4_WEEKS:
        return 2419200;
    case DURATION_30_DAYS:
        return 2592000;
    case DURATION_12_WEEKS:
        return 7257600;
    default:
        return 0;
    }
}

int SessionTiming::alignmentStep() const {
    // A demand interval below 1 means the session records no demand.
    if (m_demandInterval > 0 && m_demandInterval < m_trendInterval) {
        return m_demandInterval;
    }
    return m_trendInterval;
}

QDataStream& operator<<(QDataStream& stream, const SessionTiming& timing) {
    stream << timing.m_scheduledStart << timing.m_startTime << timing.m_plannedEndTime
           << timing.m_durationMode << timing.m_customDuration << timing.m_fixedEnd
           << timing.m_trendInterval << timing.m_demandInterval;
    return stream;
}

QDataStream& operator>>(QDataStream& stream, SessionTiming& timing) {
    stream >> timing.m_scheduledStart >> timing.m_startTime >> timing.m_plannedEndTime >>
        timing.m_durationMode >> timing.m_customDuration >> timing.m_fixedEnd >>
        timing.m_trendInterval >> timing.m_demandInterval;
    if (static_cast<quint32>(timing.m_durationMode) > static_cast<quint32>(LAST_DURATION_MODE)) {
        timing.m_durationMode = FALLBACK_DURATION_MODE;
    }
    if (stream.status() != QDataStream::Ok) {
        LOG_FATAL("logging_session_logger", "Could not load serialized SessionTiming.");
    }
    return stream;
}

} // namespace session
