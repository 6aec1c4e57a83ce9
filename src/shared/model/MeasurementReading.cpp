#include "model/MeasurementReading.h"

#include "foundation/Log.h"
#include "model/Measured.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>

namespace model {

namespace {

const char* const LOGGER = "reading_container_logger";
constexpr int LOWEST_EXPONENT = -12;
constexpr int HIGHEST_EXPONENT = 9;

// All of the display arithmetic is single precision with base-10 logarithms, as on the other
// processes of the instrument, so that every process shows the same digits for the same value.
float log10Abs(float x) {
    return std::log10(std::fabs(x));
}

float powerOfTen(int exponent) {
    return std::pow(10.0f, static_cast<float>(exponent));
}

// The logarithm rules turned into ints. A value at the edge of the float range rounds to an
// infinity, and an infinity rounds to NaN; neither may reach a float-to-int conversion
// (undefined), so NaN counts as 0 and infinities as far-off magnitudes.
int toInt(float x) {
    if (std::isnan(x)) {
        return 0;
    }
    return static_cast<int>(std::clamp(x, -1000.0f, 1000.0f));
}

int limitExponent(float exponent) {
    return std::clamp(toInt(exponent), LOWEST_EXPONENT, HIGHEST_EXPONENT);
}

} // namespace

MeasurementReading::MeasurementReading(const MeasurementType* type,
                                       const MeasurementChannel* channel, float value)
    : type_(type)
    , value_(value)
    , exponent_(type->minExponent)
    , channel_(channel)
    , restoreTimer_(this) {
    restoreTimer_.setSingleShot(true);
    connect(&restoreTimer_, &QTimer::timeout, this, &MeasurementReading::holdTimerExpired);
    updateExponent();
}

MeasurementReading::MeasurementReading(int reading, float value)
    : MeasurementReading(Measured::typeForReading(reading), Measured::channelForReading(reading),
                         value) {}

MeasurementReading::~MeasurementReading() = default;

float MeasurementReading::value() const {
    QMutexLocker guard(&lock_);
    return value_;
}

int MeasurementReading::exponent() const {
    QMutexLocker guard(&lock_);
    return exponent_;
}

float MeasurementReading::range() const {
    QMutexLocker guard(&lock_);
    return range_;
}

float MeasurementReading::realRange() const {
    QMutexLocker guard(&lock_);
    return rangeOverridden_ ? backupRange_ : range_;
}

bool MeasurementReading::isRangeOverridden() const {
    QMutexLocker guard(&lock_);
    return rangeOverridden_;
}

void MeasurementReading::setHoldPeriod(int milliseconds) {
    QMutexLocker guard(&lock_);
    holdPeriodMs_ = milliseconds;
}

void MeasurementReading::setValue(float value, bool adjustRange) {
    QMutexLocker guard(&lock_);
    if (adjustRange) {
        adjustRangeFor(value); // value_ still holds the previous value
    }
    value_ = value;
    updateExponent();
}

void MeasurementReading::setRange(float range) {
    QMutexLocker guard(&lock_);
    if (range <= 0.0f) {
        reportBadRange(range);
        return;
    }
    if (!std::isfinite(range)) {
        return;
    }
    badRanges_.reset();
    if (rangeOverridden_) {
        restoreRealRange(true);
    } else if (range == range_) {
        return;
    }
    range_ = range;
    updateExponent();
}

float MeasurementReading::displayValue() const {
    QMutexLocker guard(&lock_);
    if (!std::isfinite(value_)) {
        return value_;
    }
    return displayRounded(value_) * powerOfTen(-exponent_);
}

int MeasurementReading::decimals() const {
    QMutexLocker guard(&lock_);
    return limitDecimals(decimalsOf(value_));
}

int MeasurementReading::rangeDecimals() const {
    QMutexLocker guard(&lock_);
    return limitDecimals(rangeDecimalsBeforeLimit());
}

int MeasurementReading::rangeDecimalsWithoutPrefix() const {
    QMutexLocker guard(&lock_);
    return limitDecimals(rangeDecimalsBeforeLimit() - exponent_);
}

void MeasurementReading::restoreRealRange(bool clearRangeBackup) {
    try {
        QMutexLocker guard(&lock_);
        restoreTimer_.stop();
        if (!rangeOverridden_) {
            return;
        }
        range_ = backupRange_;
        backupRange_ = 0.0f;
        rangeOverridden_ = false;
        if (!clearRangeBackup) {
            adjustRangeFor(value_);
        }
        updateExponent();
    }
    CATCH_ALL_AND_ABORT
}

void MeasurementReading::restoreRealRange() {
    restoreRealRange(false);
}

void MeasurementReading::holdTimerExpired() {
    try {
        QMutexLocker guard(&lock_);
        const qint64 remainingMs = holdDeadline_.remainingTime();
        if (rangeOverridden_ && remainingMs > 0) {
            restoreTimer_.start(static_cast<int>(remainingMs)); // re-armed since it started
            return;
        }
        restoreRealRange();
    }
    CATCH_ALL_AND_ABORT
}

void MeasurementReading::expandRange(float newRange) {
    QMutexLocker guard(&lock_);
    // A range that is not finite would turn every later rounding into NaN.
    if (!(range_ <= newRange) || !std::isfinite(newRange)) {
        return;
    }
    if (!rangeOverridden_) {
        backupRange_ = range_;
    }
    range_ = std::fabs(newRange);
    updateExponent();
    rangeOverridden_ = true;
    holdDeadline_.setRemainingTime(holdPeriodMs_);
    if (!restoreTimer_.isActive()) {
        restoreTimer_.start(holdPeriodMs_);
    }
}

void MeasurementReading::adjustRangeFor(float newValue) {
    QMutexLocker guard(&lock_);
    if (std::isnan(newValue) || newValue == 0.0f) {
        return;
    }
    // The new value fits the range as it is.
    if (engineeringExponent(newValue) < rangeExponent(range_) &&
        decimalsOf(newValue) < decimalsCeil(range_)) {
        return;
    }
    // Hold the scale of the previous value, rounded up to a value that shows on it unless it
    // shows exactly at its own magnitude already.
    const float previous = std::fabs(displayRounded(value_));
    if (decimalsOf(value_) == decimalsCeil(value_) &&
        engineeringExponent(value_) == rangeExponent(value_)) {
        expandRange(previous);
    } else {
        expandRange(previous + 0.5f * powerOfTen(exponent_ - decimalsOf(value_) + 1));
    }
}

void MeasurementReading::updateExponent() {
    const float rounded = displayRounded(value_);
    if (range_ == 0.0f) {
        setExponent(engineeringExponent(rounded));
    } else if (!std::isnan(value_) && rounded != 0.0f) {
        setExponent(std::max(engineeringExponent(rounded), rangeExponent(range_)));
    } else {
        setExponent(rangeExponent(range_));
    }
}

void MeasurementReading::setExponent(int newExponent) {
    exponent_ = std::max(newExponent, type_->minExponent);
}

// v cut to `digits` significant digits of the larger of v and the range, never finer than
// 10^finestExponent.
float MeasurementReading::displayRounded(float v) const {
    const float magnitude = v == 0.0f ? 1.0f : std::ceil(log10Abs(v));
    const float rangeMagnitude = range_ == 0.0f ? magnitude : std::ceil(log10Abs(range_));
    const float finest = static_cast<float>(type_->digits + type_->finestExponent);
    const float coarsest = std::max(std::max(magnitude, rangeMagnitude), finest);
    const float scale = std::pow(10.0f, static_cast<float>(type_->digits) - coarsest);
    return std::ceil(v * scale - 0.5f) / scale;
}

int MeasurementReading::engineeringExponent(float v) const {
    const float rounded = displayRounded(v);
    if (rounded == 0.0f || std::isnan(v)) {
        return 0;
    }
    return limitExponent(3.0f * std::floor(std::floor(log10Abs(rounded)) / 3.0f));
}

int MeasurementReading::rangeExponent(float x) const {
    const float rounded = displayRounded(x);
    if (rounded == 0.0f) {
        return 0;
    }
    return limitExponent(3.0f * std::floor((std::ceil(log10Abs(rounded)) - 1.0f) / 3.0f));
}

int MeasurementReading::decimalsOf(float v) const {
    const float shown = displayRounded(v) * powerOfTen(-exponent_);
    const int integerDigits = shown == 0.0f ? 1 : toInt(std::floor(log10Abs(shown))) + 1;
    return std::min(type_->digits - 1, type_->digits - integerDigits);
}

int MeasurementReading::decimalsCeil(float v) const {
    const float shown = displayRounded(v) * powerOfTen(-exponent_);
    const int integerDigits = shown == 0.0f ? 1 : toInt(std::ceil(log10Abs(shown)));
    return std::min(type_->digits - 1, type_->digits - integerDigits);
}

int MeasurementReading::rangeDecimalsBeforeLimit() const {
    int count = exponent_ - type_->finestExponent;
    if (range_ != 0.0f) {
        count = std::min(count, decimalsCeil(range_));
    }
    return count;
}

int MeasurementReading::limitDecimals(int count) const {
    return std::clamp(count, 0, type_->digits - 1);
}

void MeasurementReading::reportBadRange(float badRange) {
    LOG_REPEATED(badRanges_, ::log4cplus::ERROR_LOG_LEVEL, LOGGER,
                 "Attemt to set zero or negative reading range ("
                     << badRange << ") to reading of type " << type_->name << " and channel "
                     << channel_->label);
}

} // namespace model
