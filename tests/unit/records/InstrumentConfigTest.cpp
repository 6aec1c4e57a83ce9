#include "records/InstrumentConfig.h"

#include "RecordBytes.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using quarn_system::DEFAULT_INSTRUMENT_CONFIG;
using quarn_system::INSTRUMENT_CONFIG;
using recordtest::hex;
using recordtest::utf32le;
namespace labels = quarn_system::InstrumentConfig;

QByteArray image(const INSTRUMENT_CONFIG& config) {
    return QByteArray(reinterpret_cast<const char*>(&config), sizeof config);
}

TEST(InstrumentConfigStream, DefaultImage) {
    const QByteArray bytes = recordtest::streamed(DEFAULT_INSTRUMENT_CONFIG);
    ASSERT_EQ(bytes.size(), 916);
    EXPECT_EQ(bytes.left(32), hex("1f000000"
                                  "e1000000"
                                  "00000000"
                                  "00000000"
                                  "15000000"
                                  "00000000"
                                  "00000000"
                                  "01000000"));
    EXPECT_TRUE(recordtest::allZero(bytes.mid(32, 16)));
    EXPECT_EQ(bytes.mid(48, 16), hex("55000000"
                                     "54000000"
                                     "43000000"
                                     "00000000"));
    EXPECT_TRUE(recordtest::allZero(bytes.mid(64, 240)));
    EXPECT_EQ(bytes.mid(304, 8), hex("fdffffff"
                                     "fdffffff"));

    EXPECT_EQ(bytes.mid(312, 32), hex("43000000"
                                      "75000000"
                                      "73000000"
                                      "74000000"
                                      "6f000000"
                                      "6d000000"
                                      "31000000"
                                      "00000000"));
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const int base = 312 + i * 120;
        const QByteArray digit(1, static_cast<char>('1' + i));
        EXPECT_EQ(bytes.mid(base, 28), utf32le("Custom") + utf32le(digit.constData()));
        EXPECT_TRUE(recordtest::allZero(bytes.mid(base + 28, 40)));
        EXPECT_EQ(bytes.mid(base + 68, 20), utf32le("Unit") + utf32le(digit.constData()));
        EXPECT_TRUE(recordtest::allZero(bytes.mid(base + 88, 16)));
        EXPECT_EQ(bytes.mid(base + 104, 16), hex("01000000"
                                                 "00004842"
                                                 "00000000"
                                                 "00002041"));
    }
    EXPECT_EQ(bytes.mid(912, 4), hex("00000000"));
}

TEST(InstrumentConfigStream, PowerButtonFlagIsByte913) {
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    config.powerButtonShutdown = 1;
    const QByteArray bytes = recordtest::streamed(config);
    EXPECT_EQ(bytes.mid(912, 4), hex("00010000"));
}

TEST(InstrumentConfigStream, ReadsBackWhatWasWritten) {
    INSTRUMENT_CONFIG written = DEFAULT_INSTRUMENT_CONFIG;
    written.language = 42;
    written.customAuxInputs[4].parameter3 = -1.5f;
    written.powerButtonShutdown = 1;
    const QByteArray bytes = recordtest::streamed(written);

    INSTRUMENT_CONFIG read;
    std::memset(&read, 0x55, sizeof read);
    testsupport::LogCapture capture;
    shared::Qt48DataStream stream(bytes);
    stream >> read;
    EXPECT_EQ(stream.status(), QDataStream::Ok);
    EXPECT_EQ(image(read), image(written));
    EXPECT_TRUE(capture.messages("serialization_logger").empty());
}

TEST(InstrumentConfigStream, ShortReadLogsAndKeepsTheRestOfTheRecord) {
    const QByteArray hundred(100, '\xab');
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;

    testsupport::LogCapture capture;
    shared::Qt48DataStream stream(hundred);
    stream >> config;

    const std::vector<testsupport::LogEvent> events = capture.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].logger, "serialization_logger");
    EXPECT_EQ(events[0].level, log4cplus::FATAL_LOG_LEVEL);
    EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
              "Could not load serialized structure \"buffer\", read bytes: 100, expected bytes: "
              "916");
    EXPECT_EQ(image(config).left(100), hundred);
    EXPECT_EQ(image(config).mid(100), image(DEFAULT_INSTRUMENT_CONFIG).mid(100));
    // Qt 6 marks the short read on the stream itself.
    EXPECT_EQ(stream.status(), QDataStream::ReadPastEnd);
}

TEST(InstrumentConfigStream, EmptyStreamReadsNothing) {
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    testsupport::LogCapture capture;
    shared::Qt48DataStream stream(QByteArray{});
    stream >> config;

    // A QBuffer at its end gives 0 bytes rather than -1.
    EXPECT_EQ(capture.messages("serialization_logger"),
              std::vector<std::string>{recordtest::structureMessage("buffer", 0, 916)});
    EXPECT_EQ(image(config), image(DEFAULT_INSTRUMENT_CONFIG));
    EXPECT_NE(stream.status(), QDataStream::Ok);
}

TEST(InstrumentConfigLabels, AuxInputTypes) {
    EXPECT_EQ(labels::auxInputTypeText(-3), QString::fromUtf8("±10 V"));
    EXPECT_EQ(labels::auxInputTypeText(7), QString::fromUtf8("±10 V"));
    EXPECT_EQ(labels::auxInputTypeText(-100), QString::fromUtf8("±10 V"));
    EXPECT_EQ(labels::auxInputTypeText(-2), QString::fromUtf8("RX42 (°F)"));
    EXPECT_EQ(labels::auxInputTypeText(-1), QString::fromUtf8("RX42 (°C)"));
    EXPECT_EQ(labels::auxInputTypeText(0), QString("Custom1"));
    EXPECT_EQ(labels::auxInputTypeText(4), QString("Custom5"));
    EXPECT_EQ(labels::auxInputTypeText(5), QString::fromUtf8("±10 V"));

    EXPECT_EQ(labels::auxInputName(0), QString("AUX 1"));
    EXPECT_EQ(labels::auxInputName(-1), QString("AUX 2"));

    EXPECT_EQ(labels::auxRangeText(0), QString("0-1V"));
    EXPECT_EQ(labels::auxRangeText(1), QString("0-10V"));
    EXPECT_EQ(labels::auxRangeText(2), QString("4-20mA"));
    EXPECT_EQ(labels::auxRangeText(3), QString("Other"));
    EXPECT_EQ(labels::auxRangeText(4), QString("0-1V"));
}

TEST(InstrumentConfigLabels, AuxInputDefinitions) {
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    const quarn_system::AUX_INPUT_CONFIG* celsius = labels::auxInputDefinition(config, -1);
    EXPECT_EQ(quarn_system::wideText(celsius->unit), QString::fromUtf8("°C"));
    EXPECT_EQ(quarn_system::wideText(celsius->name), QString("Celsius"));
    EXPECT_EQ(celsius->range, 1);
    EXPECT_EQ(celsius->parameter1, 50.0f);
    EXPECT_EQ(celsius->parameter2, 0.0f);
    EXPECT_EQ(celsius->parameter3, 10.0f);

    const quarn_system::AUX_INPUT_CONFIG* fahrenheit = labels::auxInputDefinition(config, -2);
    EXPECT_EQ(quarn_system::wideText(fahrenheit->name), QString("Fahren"));
    EXPECT_EQ(quarn_system::wideText(fahrenheit->unit), QString::fromUtf8("°F"));

    for (int outside : {-3, -4, 5, 1000}) {
        const quarn_system::AUX_INPUT_CONFIG* fixed = labels::auxInputDefinition(config, outside);
        EXPECT_EQ(quarn_system::wideText(fixed->name), QString::fromUtf8("±10 V"));
        EXPECT_EQ(quarn_system::wideText(fixed->unit), QString("V"));
    }

    EXPECT_EQ(labels::auxInputDefinition(config, 4), &config.customAuxInputs[4]);
    EXPECT_EQ(labels::auxInputDefinition(config, 0), &config.customAuxInputs[0]);
}

TEST(InstrumentConfigLabels, WideTextStopsAtTheArrayEnd) {
    const char32_t full[3] = {U'a', U'b', U'c'};
    EXPECT_EQ(quarn_system::wideText(full), QString("abc"));
    const char32_t early[4] = {U'x', 0, U'y', 0};
    EXPECT_EQ(quarn_system::wideText(early), QString("x"));
}

TEST(InstrumentConfigLabels, Currency) {
    INSTRUMENT_CONFIG config = DEFAULT_INSTRUMENT_CONFIG;
    EXPECT_EQ(labels::currencySymbol(config), QString("$"));

    config.currency = 4;
    config.customCurrencySymbol[0] = U'C';
    config.customCurrencySymbol[1] = U'H';
    config.customCurrencySymbol[2] = U'F';
    EXPECT_EQ(labels::currencySymbol(config), QString("CHF"));
    config.customCurrencySymbol[1] = 0;
    EXPECT_EQ(labels::currencySymbol(config), QString("C"));

    config.currency = 9;
    EXPECT_EQ(labels::currencySymbol(config), QString("$"));
    config.currency = 0;
    EXPECT_EQ(labels::currencySymbol(config), QString::fromUtf8("€"));

    EXPECT_EQ(labels::currencyText(0), QString::fromUtf8("€"));
    EXPECT_EQ(labels::currencyText(1), QString("$"));
    EXPECT_EQ(labels::currencyText(2), QString::fromUtf8("£"));
    EXPECT_EQ(labels::currencyText(3), QString::fromUtf8("¥"));
    EXPECT_EQ(labels::currencyText(4), QString("Custom"));
    EXPECT_EQ(labels::currencyText(-1), QString("$"));
}

TEST(InstrumentConfigLabels, Languages) {
    EXPECT_EQ(labels::languageShortName(42), QString("Deut."));
    EXPECT_EQ(labels::languageShortName(0), QString("Engl."));
    EXPECT_EQ(labels::languageNativeName(0), QString("English"));
    EXPECT_EQ(labels::languageNativeName(28), QString::fromUtf8("Česky"));
    EXPECT_EQ(labels::languageNativeName(25), QString::fromUtf8("中文（简体）"));
    EXPECT_EQ(labels::languageShortName(25), QString::fromUtf8("中文"));
    EXPECT_EQ(labels::languageShortName(96), QString::fromUtf8("Русс."));

    const QList<int> expected = {28, 42, 31, 111, 37, 58, 90, 91, 125, 25, 66, 59, 96};
    EXPECT_EQ(labels::supportedLanguages(), expected);
}

TEST(InstrumentConfigLabels, PhasesDatesClockAndRegions) {
    EXPECT_EQ(labels::phaseLabelSetText(0), QString("A-B-C"));
    EXPECT_EQ(labels::phaseLabelSetText(1), QString("L1-L2-L3"));
    EXPECT_EQ(labels::phaseLabelSetText(-5), QString("L1-L2-L3"));
    EXPECT_EQ(labels::phaseName(0, 1), QString("A"));
    EXPECT_EQ(labels::phaseName(1, 2), QString("L2"));
    EXPECT_TRUE(labels::phaseName(0, 0).isEmpty());
    EXPECT_TRUE(labels::phaseName(0, 4).isEmpty());
    EXPECT_TRUE(labels::phaseName(1, -1).isEmpty());

    EXPECT_EQ(labels::clockFormatText(0), QString("24 Hours"));
    EXPECT_EQ(labels::clockFormatText(1), QString("12 Hours"));
    EXPECT_EQ(labels::clockFormatText(-1), QString("12 Hours"));

    EXPECT_EQ(labels::dateFormatText(0), QString("MM/DD/YYYY"));
    EXPECT_EQ(labels::dateFormatText(1), QString("DD.MM.YYYY"));
    EXPECT_EQ(labels::dateFormatText(4), QString("YYYY-MM-DD"));
    EXPECT_EQ(labels::dateFormatText(5), QString("MM/DD/YYYY"));

    EXPECT_EQ(labels::phaseColourRegionText(3), QString("UK (old Std.)"));
    EXPECT_EQ(labels::phaseColourRegionText(4), QString("China"));
    EXPECT_EQ(labels::phaseColourRegionText(9), QString("USA"));
    EXPECT_EQ(labels::phaseColourRegionSuffix(1), QString(" (Canada)"));
    EXPECT_EQ(labels::phaseColourRegionSuffix(3), QString(" (UK old Std.)"));
    EXPECT_EQ(labels::phaseColourRegionSuffix(-1), QString(" (USA)"));
}

// Answers only for the "InstrumentConfig" context, so a text looked up under another context or
// one that should not be translated at all stays as it is.
class GermanTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override {
        if (std::strcmp(context, "InstrumentConfig") != 0) {
            return QString();
        }
        if (std::strcmp(sourceText, "Custom") == 0) {
            return QStringLiteral("Benutzer");
        }
        if (std::strcmp(sourceText, "Other") == 0) {
            return QStringLiteral("Andere");
        }
        if (std::strcmp(sourceText, "24 Hours") == 0) {
            return QStringLiteral("24 Stunden");
        }
        if (std::strcmp(sourceText, "12 Hours") == 0) {
            return QStringLiteral("12 Stunden");
        }
        if (std::strcmp(sourceText, "USA") == 0 || std::strcmp(sourceText, "AUX 1") == 0) {
            return QStringLiteral("übersetzt");
        }
        return QString();
    }
};

TEST(InstrumentConfigLabels, TranslatedTextsUseTheInstrumentConfigContext) {
    GermanTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    EXPECT_EQ(labels::auxInputTypeText(0), QString("Benutzer1"));
    EXPECT_EQ(labels::currencyText(4), QString("Benutzer"));
    EXPECT_EQ(labels::auxRangeText(3), QString("Andere"));
    EXPECT_EQ(labels::clockFormatText(0), QString("24 Stunden"));
    EXPECT_EQ(labels::clockFormatText(1), QString("12 Stunden"));
    EXPECT_EQ(labels::phaseColourRegionText(0), QString("USA"));
    EXPECT_EQ(labels::auxInputName(0), QString("AUX 1"));
    QCoreApplication::removeTranslator(&translator);
}

} // namespace
