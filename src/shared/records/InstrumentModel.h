#pragma once

#include <cstdint>

namespace quarn_system {

// Which instrument model the shared code runs on. Readers take the fields directly; the texts
// are static and live as long as the process.
class InstrumentModel {
public:
    virtual ~InstrumentModel();

    InstrumentModel(const InstrumentModel&) = delete;
    InstrumentModel& operator=(const InstrumentModel&) = delete;

    const char* const displayName;
    const char* const modelNumber;
    const char* const modelIdentifier;
    // Model switches of the DSP side; every model this code serves sets all three to 1.
    const uint16_t option1;
    const uint16_t option2;
    const uint16_t option3;

protected:
    InstrumentModel(const char* displayName, const char* modelNumber, const char* modelIdentifier,
                    uint16_t option1, uint16_t option2, uint16_t option3);
};

class InstrumentModelKavroNabrix : public InstrumentModel {
public:
    InstrumentModelKavroNabrix();
    ~InstrumentModelKavroNabrix() override;
};

// The process's single instrument model, created on first use (thread-safe) and destroyed at
// exit.
const InstrumentModel& instrumentModel();

} // namespace quarn_system
