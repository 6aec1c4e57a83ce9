#pragma once

#include <QList>
#include <QString>

namespace model {

// One measured quantity (voltage, current, power factor, energy ...) and how its readings are
// shown. The instances are the constant members of Measured, built once when the program starts
// and never changed, so any thread may read them without a lock.
class MeasurementType {
public:
    MeasurementType(int id, const QString& name, int unitCode, const QList<int>& channels,
                    int minExponent, int flags, int digits, int finestExponent,
                    float referenceValue, float scale);
    virtual ~MeasurementType();

    MeasurementType(const MeasurementType&) = delete;
    MeasurementType& operator=(const MeasurementType&) = delete;

    const int id;
    const QString name;
    const int unitCode;
    // Indices of the channels the quantity exists on.
    const QList<int> channels;
    // The finest engineering prefix a reading may take: 0, or -3 for milli.
    const int minExponent;
    const int flags;
    // Significant digits shown.
    const int digits;
    // The finest decimal shown, as a power of ten: -1 for tenths.
    const int finestExponent;
    // The nominal level of the quantity; NaN where it has none.
    const float referenceValue;
    const float scale;
};

} // namespace model
