#pragma once

#include <QString>

namespace model {

// What a value belongs to: a phase, a line-to-line pair, the total, an auxiliary input ... The
// instances are the constant members of Measured, built once when the program starts and never
// changed, so any thread may read them without a lock.
class MeasurementChannel {
public:
    MeasurementChannel(int id, const QString& label, const QString& colour,
                       const QString& altColour);
    virtual ~MeasurementChannel();

    MeasurementChannel(const MeasurementChannel&) = delete;
    MeasurementChannel& operator=(const MeasurementChannel&) = delete;

    const int id;
    const QString label;
    const QString shortLabel;
    // "#rrggbb".
    const QString colour;
    const QString altColour;
};

} // namespace model
