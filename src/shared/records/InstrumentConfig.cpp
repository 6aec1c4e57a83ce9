#include "records/InstrumentConfig.h"

#include "records/RawRecordStream.h"

#include <QCoreApplication>

namespace quarn_system {

QDataStream& operator<<(QDataStream& stream, const INSTRUMENT_CONFIG& config) {
    writeRawRecord(stream, config);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, INSTRUMENT_CONFIG& config) {
    // The peers have always reported this record under the name of the read buffer.
    readRawRecord(stream, config, "buffer");
    return stream;
}

QString wideText(const char32_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return QString::fromUcs4(text, static_cast<qsizetype>(length));
}

namespace InstrumentConfig {

namespace {

QString translated(const char* text) {
    return QCoreApplication::translate("InstrumentConfig", text);
}

struct LanguageNames {
    int language;
    const char* nativeName;
    const char* shortName;
};

// QLocale::Language values as Qt 4 numbers them: the record stores them, so they must not follow
// a newer Qt's enumeration.
const LanguageNames SUPPORTED_LANGUAGES[] = {
    {28, "Česky", "Česky"},       {42, "Deutsch", "Deut."},   {31, "English", "Engl."},
    {111, "Español", "Esp."},     {37, "Français", "Fran."},  {58, "Italiano", "Ital."},
    {90, "Polski", "Pol."},       {91, "Português", "Port."}, {125, "Türk", "Türk"},
    {25, "中文（简体）", "中文"}, {66, "코리안", "코리안"},   {59, "日本語", "日本語"},
    {96, "Русский", "Русс."},
};

const LanguageNames& languageNames(int language) {
    for (const LanguageNames& names : SUPPORTED_LANGUAGES) {
        if (names.language == language) {
            return names;
        }
    }
    return SUPPORTED_LANGUAGES[2]; // English
}

} // namespace

QString phaseLabelSetText(int labelSet) {
    return labelSet == 0 ? QStringLiteral("A-B-C") : QStringLiteral("L1-L2-L3");
}

QString phaseName(int labelSet, int phase) {
    static const char* const LETTERS[] = {"A", "B", "C"};
    static const char* const NUMBERED[] = {"L1", "L2", "L3"};
    if (phase < 1 || phase > 3) {
        return QString();
    }
    return QString::fromLatin1(labelSet == 0 ? LETTERS[phase - 1] : NUMBERED[phase - 1]);
}

QString clockFormatText(int clockFormat) {
    return clockFormat == 0 ? translated("24 Hours") : translated("12 Hours");
}

QString phaseColourRegionText(int region) {
    switch (region) {
    case 1:
        return QStringLiteral("Canada");
    case 2:
        return QStringLiteral("Europe");
    case 3:
        return QStringLiteral("UK (old Std.)");
    case 4:
        return QStringLiteral("China");
    default:
        return QStringLiteral("USA");
    }
}

QString phaseColourRegionSuffix(int region) {
    switch (region) {
    case 1:
        return QStringLiteral(" (Canada)");
    case 2:
        return QStringLiteral(" (Europe)");
    case 3:
        return QStringLiteral(" (UK old Std.)");
    case 4:
        return QStringLiteral(" (China)");
    default:
        return QStringLiteral(" (USA)");
    }
}

QString dateFormatText(int dateFormat) {
    switch (dateFormat) {
    case 1:
        return QStringLiteral("DD.MM.YYYY");
    case 2:
        return QStringLiteral("DD/MM/YYYY");
    case 3:
        return QStringLiteral("YYYY/MM/DD");
    case 4:
        return QStringLiteral("YYYY-MM-DD");
    default:
        return QStringLiteral("MM/DD/YYYY");
    }
}

QString currencyText(int currency) {
    switch (currency) {
    case CURRENCY_EURO:
        return QStringLiteral("€");
    case CURRENCY_POUND:
        return QStringLiteral("£");
    case CURRENCY_YEN:
        return QStringLiteral("¥");
    case CURRENCY_CUSTOM:
        return translated("Custom");
    default:
        return QStringLiteral("$");
    }
}

QString currencySymbol(const INSTRUMENT_CONFIG& config) {
    if (config.currency == CURRENCY_CUSTOM) {
        return wideText(config.customCurrencySymbol);
    }
    return currencyText(config.currency);
}

QString languageNativeName(int language) {
    return QString::fromUtf8(languageNames(language).nativeName);
}

QString languageShortName(int language) {
    return QString::fromUtf8(languageNames(language).shortName);
}

QList<int> supportedLanguages() {
    QList<int> languages;
    for (const LanguageNames& names : SUPPORTED_LANGUAGES) {
        languages.append(names.language);
    }
    return languages;
}

QString auxInputName(int index) {
    return index == 0 ? QStringLiteral("AUX 1") : QStringLiteral("AUX 2");
}

QString auxInputTypeText(int inputType) {
    switch (inputType) {
    case AUX_INPUT_TYPE_FAHRENHEIT:
        return QStringLiteral("RX42 (°F)");
    case AUX_INPUT_TYPE_CELSIUS:
        return QStringLiteral("RX42 (°C)");
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        return translated("Custom") + QString::number(inputType + 1);
    default:
        return QStringLiteral("±10 V");
    }
}

QString auxRangeText(int range) {
    switch (range) {
    case 1:
        return QStringLiteral("0-10V");
    case 2:
        return QStringLiteral("4-20mA");
    case 3:
        return translated("Other");
    default:
        return QStringLiteral("0-1V");
    }
}

const AUX_INPUT_CONFIG* auxInputDefinition(const INSTRUMENT_CONFIG& config, int inputType) {
    if (inputType >= 0 && inputType < AUX_CUSTOM_INPUT_COUNT) {
        return &config.customAuxInputs[inputType];
    }
    switch (inputType) {
    case AUX_INPUT_TYPE_FAHRENHEIT:
        return &AUX_INPUT_FAHRENHEIT;
    case AUX_INPUT_TYPE_CELSIUS:
        return &AUX_INPUT_CELSIUS;
    default:
        return &AUX_INPUT_PLUS_MINUS_10V;
    }
}

} // namespace InstrumentConfig

} // namespace quarn_system
