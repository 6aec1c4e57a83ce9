#include "model/MeasurementType.h"

namespace model {

MeasurementType::MeasurementType(int id_, const QString& name_, int unitCode_,
                                 const QList<int>& channels_, int minExponent_, int flags_,
                                 int digits_, int finestExponent_, float referenceValue_,
                                 float scale_)
    : id(id_)
    , name(name_)
    , unitCode(unitCode_)
    , channels(channels_)
    , minExponent(minExponent_)
    , flags(flags_)
    , digits(digits_)
    , finestExponent(finestExponent_)
    , referenceValue(referenceValue_)
    , scale(scale_) {}

MeasurementType::~MeasurementType() = default;

} // namespace model
