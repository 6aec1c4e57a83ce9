#include "model/MeasurementChannel.h"

namespace model {

MeasurementChannel::MeasurementChannel(int id_, const QString& label_, const QString& colour_,
                                       const QString& altColour_)
    : id(id_)
    , label(label_)
    , shortLabel(label_)
    , colour(colour_)
    , altColour(altColour_) {}

MeasurementChannel::~MeasurementChannel() = default;

} // namespace model
