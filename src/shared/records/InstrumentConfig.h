#pragma once

// The instrument-wide settings record and the display texts of its settings.
//
// The label functions are free functions in the nested namespace quarn_system::InstrumentConfig,
// e.g. quarn_system::InstrumentConfig::currencySymbol(config). Texts marked as translated go
// through QCoreApplication::translate with the context "InstrumentConfig".

#include <QDataStream>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace quarn_system {

// Text fields hold UTF-32 code points (the instrument's 4-byte wchar_t). char32_t is used in
// place of wchar_t because it is 4 bytes on every target, so the stored layout cannot shift.
static_assert(sizeof(char32_t) == 4, "wide text fields are 32-bit code points");

// Definition of one auxiliary input type.
struct AUX_INPUT_CONFIG {
    char32_t name[17];
    char32_t unit[9];
    int32_t range; // 0 "0-1V", 1 "0-10V", 2 "4-20mA", 3 "Other"
    // Scaling of the input signal; carried unchanged, interpreted by the measuring side.
    float parameter1;
    float parameter2;
    float parameter3;
};

static_assert(sizeof(AUX_INPUT_CONFIG) == 120, "AUX_INPUT_CONFIG is stored as 120 bytes");
static_assert(offsetof(AUX_INPUT_CONFIG, name) == 0, "AUX_INPUT_CONFIG layout");
static_assert(offsetof(AUX_INPUT_CONFIG, unit) == 68, "AUX_INPUT_CONFIG layout");
static_assert(offsetof(AUX_INPUT_CONFIG, range) == 104, "AUX_INPUT_CONFIG layout");
static_assert(offsetof(AUX_INPUT_CONFIG, parameter1) == 108, "AUX_INPUT_CONFIG layout");
static_assert(offsetof(AUX_INPUT_CONFIG, parameter2) == 112, "AUX_INPUT_CONFIG layout");
static_assert(offsetof(AUX_INPUT_CONFIG, parameter3) == 116, "AUX_INPUT_CONFIG layout");

constexpr int AUX_CUSTOM_INPUT_COUNT = 5;

// Values of INSTRUMENT_CONFIG::currency.
enum CURRENCY : int32_t {
    CURRENCY_EURO = 0,
    CURRENCY_DOLLAR = 1,
    CURRENCY_POUND = 2,
    CURRENCY_YEN = 3,
    CURRENCY_CUSTOM = 4,
};

// Values of aux1InputType / aux2InputType below 0; 0 to 4 select customAuxInputs[value].
enum AUX_INPUT_TYPE : int32_t {
    AUX_INPUT_TYPE_PLUS_MINUS_10V = -3,
    AUX_INPUT_TYPE_FAHRENHEIT = -2,
    AUX_INPUT_TYPE_CELSIUS = -1,
};

// The instrument settings, moved between processes and stored with sessions as this 916-byte
// image.
//
// Display settings:
//   setting1  date format (dateFormatText)
//   setting2  clock format (clockFormatText)
//   setting3  owned by the user interface and carried unchanged (default 21)
//   setting4  phase label set (phaseLabelSetText, phaseName)
//   setting5  phase colour region (phaseColourRegionText, phaseColourRegionSuffix)
//   setting6  owned by the user interface and carried unchanged (default 0)
struct INSTRUMENT_CONFIG {
    int32_t language; // QLocale::Language value as numbered by Qt 4
    int32_t country;  // QLocale::Country value as numbered by Qt 4
    int32_t setting1;
    int32_t setting2;
    int32_t setting3;
    int32_t setting4;
    int32_t setting5;
    int32_t currency;
    char32_t customCurrencySymbol[4];
    char32_t timeZone[64];
    int32_t aux1InputType;
    int32_t aux2InputType;
    AUX_INPUT_CONFIG customAuxInputs[AUX_CUSTOM_INPUT_COUNT];
    uint8_t setting6;
    // 1 when a press of the power button started the power-down.
    uint8_t powerButtonShutdown;
    uint8_t reserved[2];
};

static_assert(sizeof(INSTRUMENT_CONFIG) == 916, "INSTRUMENT_CONFIG is stored as 916 bytes");
static_assert(offsetof(INSTRUMENT_CONFIG, language) == 0, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, country) == 4, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting1) == 8, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting2) == 12, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting3) == 16, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting4) == 20, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting5) == 24, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, currency) == 28, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, customCurrencySymbol) == 32, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, timeZone) == 48, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, aux1InputType) == 304, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, aux2InputType) == 308, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, customAuxInputs) == 312, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, setting6) == 912, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, powerButtonShutdown) == 913, "INSTRUMENT_CONFIG layout");
static_assert(offsetof(INSTRUMENT_CONFIG, reserved) == 914, "INSTRUMENT_CONFIG layout");

inline constexpr AUX_INPUT_CONFIG AUX_INPUT_PLUS_MINUS_10V = {U"±10 V", U"V", 1,
                                                              50.0f,    0.0f, 10.0f};
inline constexpr AUX_INPUT_CONFIG AUX_INPUT_FAHRENHEIT = {U"Fahren", U"°F", 1, 50.0f, 0.0f, 10.0f};
inline constexpr AUX_INPUT_CONFIG AUX_INPUT_CELSIUS = {U"Celsius", U"°C", 1, 50.0f, 0.0f, 10.0f};

// Constant-initialised, so other records' defaults may copy it during static initialisation.
inline constexpr INSTRUMENT_CONFIG DEFAULT_INSTRUMENT_CONFIG = {
    31,  // English
    225, // United States
    0,
    0,
    21,
    0,
    0,
    CURRENCY_DOLLAR,
    {},
    U"UTC",
    AUX_INPUT_TYPE_PLUS_MINUS_10V,
    AUX_INPUT_TYPE_PLUS_MINUS_10V,
    {
        {U"Custom1", U"Unit1", 1, 50.0f, 0.0f, 10.0f},
        {U"Custom2", U"Unit2", 1, 50.0f, 0.0f, 10.0f},
        {U"Custom3", U"Unit3", 1, 50.0f, 0.0f, 10.0f},
        {U"Custom4", U"Unit4", 1, 50.0f, 0.0f, 10.0f},
        {U"Custom5", U"Unit5", 1, 50.0f, 0.0f, 10.0f},
    },
    0,
    0,
    {},
};

// The raw 916-byte image, nothing before or after it.
QDataStream& operator<<(QDataStream& stream, const INSTRUMENT_CONFIG& config);
// A short read is logged at FATAL on serialization_logger (record name "buffer"); the record then
// holds the bytes that arrived over its previous content.
QDataStream& operator>>(QDataStream& stream, INSTRUMENT_CONFIG& config);

// A NUL-terminated code-point field as a QString; stops at the end of the array when no NUL is
// found.
QString wideText(const char32_t* text, std::size_t capacity);

template <std::size_t N> QString wideText(const char32_t (&text)[N]) {
    return wideText(text, N);
}

namespace InstrumentConfig {

QString phaseLabelSetText(int labelSet);
// phase 1 to 3; an empty string for any other phase.
QString phaseName(int labelSet, int phase);
QString clockFormatText(int clockFormat);
QString phaseColourRegionText(int region);
QString phaseColourRegionSuffix(int region);
QString dateFormatText(int dateFormat);
QString currencyText(int currency);
QString currencySymbol(const INSTRUMENT_CONFIG& config);
QString languageNativeName(int language);
QString languageShortName(int language);
// The QLocale::Language values (Qt 4 numbering) the user interface offers, in menu order.
QList<int> supportedLanguages();
QString auxInputName(int index);
QString auxInputTypeText(int inputType);
QString auxRangeText(int range);
// The definition in force for an input type: config.customAuxInputs[inputType] for 0..4 (a
// pointer into `config`), the fixed °F or °C definition for -2 or -1, and the fixed ±10 V one
// for -3 and every value outside -2..4.
const AUX_INPUT_CONFIG* auxInputDefinition(const INSTRUMENT_CONFIG& config, int inputType);

} // namespace InstrumentConfig

} // namespace quarn_system
