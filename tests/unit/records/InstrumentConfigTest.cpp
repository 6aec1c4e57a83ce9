#include "records/InstrumentConfig.h"

#include "support/RecordBytes.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

using quarn_system::DEFAULT_INSTRUMENT_CONFIG;
using quarn_system::INSTRUMENT_CONFIG;
using quarn_system::wideText;
using namespace testsupport;
namespace labels = quarn_system::InstrumentConfig;

TEST(InstrumentConfigStream, DefaultImage) {
    QByteArray customInputs;
    for (const char digit : {'1', '2', '3', '4', '5'}) {
        // Name and unit, then range 1 and 50.0, 0.0 and 10.0 as little-endian floats.
        customInputs += utf32le(QByteArray("Custom") + digit).leftJustified(68, '\0') +
                        utf32le(QByteArray("Unit") + digit).leftJustified(36, '\0') +
                        hex("01000000000048420000000000002041");
    }
    const QByteArray bytes = streamed(DEFAULT_INSTRUMENT_CONFIG);
    EXPECT_EQ(bytes, hex("1f000000e10000000000000000000000"
                         "15000000000000000000000001000000") +
                         QByteArray(16, '\0') + hex("55000000540000004300000000000000") +
                         QByteArray(240, '\0') + hex("fdfffffffdffffff") + customInputs +
                         QByteArray(4, '\0'));
    EXPECT_EQ(bytes.mid(312, 32), hex("43000000750000007300000074000000"
                                      "6f0000006d0000003100000000000000"));

    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    config.powerButtonShutdown = 1;
    EXPECT_EQ(streamed(config).mid(912, 4), hex("00010000"));
}

// Marks every text looked up under the "InstrumentConfig" context, so a text looked up under
// another context, or one that should not be translated at all, shows unmarked.
class MarkingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        return std::strcmp(context, "InstrumentConfig") == 0 ? "<" + QString(sourceText) + ">"
                                                             : QString();
    }
};

// The ends of each range, the fallback of each label and which texts are translated.
TEST(InstrumentConfigLabels, TextsTheirFallbacksAndTranslation) {
    MarkingTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    using Cases = std::vector<std::pair<int, const char*>>;
    const std::pair<QString (*)(int), Cases> tables[] = {
        {labels::auxInputTypeText, {{-3, "±10 V"}, {5, "±10 V"}, {-100, "±10 V"}}},
        {labels::auxInputTypeText,
         {{-2, "RX42 (°F)"}, {-1, "RX42 (°C)"}, {0, "<Custom>1"}, {4, "<Custom>5"}}},
        {labels::auxInputName, {{0, "AUX 1"}, {-1, "AUX 2"}}},
        {labels::auxRangeText, {{1, "0-10V"}, {3, "<Other>"}, {4, "0-1V"}}},
        {labels::currencyText, {{0, "€"}, {4, "<Custom>"}, {-1, "$"}}},
        {labels::languageShortName, {{42, "Deut."}, {0, "Engl."}, {25, "中文"}}},
        {labels::languageNativeName, {{0, "English"}, {28, "Česky"}}},
        {labels::phaseLabelSetText, {{0, "A-B-C"}, {-5, "L1-L2-L3"}}},
        {labels::clockFormatText, {{0, "<24 Hours>"}, {-1, "<12 Hours>"}}},
        {labels::dateFormatText,
         {{1, "DD.MM.YYYY"},
          {2, "DD/MM/YYYY"},
          {3, "YYYY/MM/DD"},
          {4, "YYYY-MM-DD"},
          {5, "MM/DD/YYYY"}}},
        {labels::phaseColourRegionText, {{9, "USA"}}},
        {labels::phaseColourRegionSuffix, {{-1, " (USA)"}}}};
    for (const auto& [label, cases] : tables) {
        for (const auto& [value, expected] : cases) {
            EXPECT_EQ(label(value), QString::fromUtf8(expected)) << value << " -> " << expected;
        }
    }
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(labels::phaseName(0, 1), QString("A"));
    EXPECT_EQ(labels::phaseName(1, 3), QString("L3"));
    for (const int outside : {0, 4, -1}) {
        EXPECT_TRUE(labels::phaseName(1, outside).isEmpty()) << outside;
    }
    // Qt 4's numbering, as the record stores it.
    EXPECT_EQ(labels::supportedLanguages(),
              (QList<int>{28, 42, 31, 111, 37, 58, 90, 91, 125, 25, 66, 59, 96}));
}

TEST(InstrumentConfigLabels, AuxInputDefinitionsAndCurrencySymbol) {
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    const quarn_system::AUX_INPUT_CONFIG* celsius = labels::auxInputDefinition(config, -1);
    EXPECT_EQ(std::make_tuple(wideText(celsius->name), wideText(celsius->unit), celsius->range,
                              celsius->parameter1, celsius->parameter2, celsius->parameter3),
              std::make_tuple(QString("Celsius"), QString::fromUtf8("°C"), 1, 50.0f, 0.0f, 10.0f));
    EXPECT_EQ(wideText(labels::auxInputDefinition(config, -2)->unit), QString::fromUtf8("°F"));
    for (int outside : {-3, -4, 5, 1000}) {
        const quarn_system::AUX_INPUT_CONFIG* fixed = labels::auxInputDefinition(config, outside);
        EXPECT_EQ(wideText(fixed->name), QString::fromUtf8("±10 V")) << outside;
        EXPECT_EQ(wideText(fixed->unit), QString("V")) << outside;
    }
    EXPECT_EQ(labels::auxInputDefinition(config, 4), &config.customAuxInputs[4]);
    EXPECT_EQ(labels::auxInputDefinition(config, 0), &config.customAuxInputs[0]);

    // A text filling its whole array has no terminator to stop at.
    const char32_t full[3] = {U'a', U'b', U'c'};
    EXPECT_EQ(wideText(full), QString("abc"));

    EXPECT_EQ(labels::currencySymbol(config), QString("$"));
    config.currency = 4;
    std::memcpy(config.customCurrencySymbol, U"CHF", sizeof(char32_t) * 4);
    EXPECT_EQ(labels::currencySymbol(config), QString("CHF"));
    config.customCurrencySymbol[1] = 0;
    EXPECT_EQ(labels::currencySymbol(config), QString("C"));
    config.currency = 0;
    EXPECT_EQ(labels::currencySymbol(config), QString::fromUtf8("€"));
}

} // namespace
