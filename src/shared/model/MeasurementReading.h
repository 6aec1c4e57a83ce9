#pragma once

#include "foundation/LogRepeatLimiter.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QRecursiveMutex>
#include <QTimer>

namespace model {

class MeasurementChannel;
class MeasurementType;

// One displayed value: a quantity on a channel, with the display range and the engineering
// exponent (prefix) it is shown with.
//
// When the value falls to a smaller magnitude the reading keeps the scale of the larger value
// for a hold period (3000 ms after the last fall from the held scale) before it returns to its
// real range, so that a fluctuating value does not make the prefix and the decimals flicker.
//
// Every operation takes the reading's recursive lock, so other threads may read it; the value
// and range are set, and the hold timer runs, in the thread that owns the reading.
class MeasurementReading : public QObject {
    Q_OBJECT

public:
    static constexpr int HOLD_PERIOD_MS = 3000;

    // No range is set (0) and no hold is in force.
    MeasurementReading(const MeasurementType* type, const MeasurementChannel* channel, float value);
    // Quantity and channel of a reading identifier (Measured::typeForReading and
    // Measured::channelForReading).
    MeasurementReading(int reading, float value);
    ~MeasurementReading() override;

    const MeasurementType* type() const { return type_; }
    const MeasurementChannel* channel() const { return channel_; }

    float value() const;
    // A multiple of 3 in -12 ... 9, never below the quantity's minExponent.
    int exponent() const;
    // The range the display follows: the held one while a hold is in force.
    float range() const;
    // The range last set by setRange; 0 when none is set.
    float realRange() const;
    bool isRangeOverridden() const;

    // adjustRange: a fall from the current scale starts (or re-arms) the hold. Re-arming a
    // running hold allocates nothing.
    void setValue(float value, bool adjustRange);
    // Refuses (with an ERROR, rate-limited until a good range comes) a range that is zero or
    // negative and ignores one that is not finite. Ends a hold without taking the current value
    // into account.
    void setRange(float range);

    // The value rounded to the shown digits and scaled by the exponent; NaN and infinities as
    // they are.
    float displayValue() const;
    // Decimals of displayValue, 0 ... digits - 1.
    int decimals() const;
    // Decimals the range needs at the current exponent, 0 ... digits - 1; the second form
    // counts them for the value written without the prefix.
    int rangeDecimals() const;
    int rangeDecimalsWithoutPrefix() const;

    // Test seam: the hold period from now on. The default is the product's.
    void setHoldPeriod(int milliseconds);

public slots:
    // Ends a hold in force: the real range returns and, unless clearRangeBackup, the current
    // value may start a new hold from it.
    void restoreRealRange(bool clearRangeBackup);
    void restoreRealRange();

private slots:
    void holdTimerExpired();

private:
    void expandRange(float newRange);
    void adjustRangeFor(float newValue);
    void updateExponent();
    void setExponent(int newExponent);
    float displayRounded(float v) const;
    int engineeringExponent(float v) const;
    int rangeExponent(float x) const;
    int decimalsOf(float v) const;
    int decimalsCeil(float v) const;
    int rangeDecimalsBeforeLimit() const;
    int limitDecimals(int count) const;
    void reportBadRange(float badRange);

    const MeasurementType* const type_;
    float value_;
    int exponent_;
    float range_ = 0.0f;
    const MeasurementChannel* const channel_;
    QTimer restoreTimer_;
    // A re-arm moves the deadline; the timer, started once per hold, goes on to it. Restarting
    // the timer for every value would register it with the event dispatcher each time.
    QDeadlineTimer holdDeadline_;
    int holdPeriodMs_ = HOLD_PERIOD_MS;
    float backupRange_ = 0.0f;
    bool rangeOverridden_ = false;
    shared::LogRepeatLimiter badRanges_;
    mutable QRecursiveMutex lock_;
};

} // namespace model
