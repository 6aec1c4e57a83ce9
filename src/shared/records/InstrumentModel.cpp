#include "records/InstrumentModel.h"

namespace quarn_system {

InstrumentModel::InstrumentModel(const char* displayName, const char* modelNumber,
                                 const char* modelIdentifier, uint16_t option1, uint16_t option2,
                                 uint16_t option3)
    : displayName(displayName)
    , modelNumber(modelNumber)
    , modelIdentifier(modelIdentifier)
    , option1(option1)
    , option2(option2)
    , option3(option3) {}

InstrumentModel::~InstrumentModel() = default;

InstrumentModelKavroNabrix::InstrumentModelKavroNabrix()
    : InstrumentModel("KAVRO Nabrix", "Nabrix", "KavroNabrix", 1, 1, 1) {}

InstrumentModelKavroNabrix::~InstrumentModelKavroNabrix() = default;

const InstrumentModel& instrumentModel() {
    static const InstrumentModelKavroNabrix model;
    return model;
}

} // namespace quarn_system
