// The byte images of the records the processes share, worked out by hand from their layouts
// (the offsets of their fields are checked where they are declared), the date-time conversion
// they carry and the labels of the instrument configuration.

#include "records/AdcoRecords.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "records/QuarnDateTime.h"

#include "support/RecordBytes.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

using namespace testsupport;
using quarn_system::DEFAULT_INSTRUMENT_CONFIG;
using quarn_system::INSTRUMENT_CONFIG;
using quarn_system::wideText;
namespace labels = quarn_system::InstrumentConfig;

// DEFAULT_QUARN_DATE_TIME (378691200 = 0x16925E80, 0 µs) and the quiet NaN, little-endian.
const QByteArray UNSET_TIME = hex("805e921600000000");
const QByteArray NAN_BYTES = hex("0000c07f");
// Four zero counts, then a NaN running average.
const QByteArray ACCUMULATOR = QByteArray(16, '\0') + NAN_BYTES;
const QByteArray SAMPLE = NAN_BYTES + UNSET_TIME;
const QByteArray MIN_MAX_AVG =
    UNSET_TIME + NAN_BYTES + UNSET_TIME + NAN_BYTES.repeated(2) + ACCUMULATOR;
const QByteArray MIN_MAX_AVG_PF = UNSET_TIME + NAN_BYTES + hex("01000000") + UNSET_TIME +
                                  NAN_BYTES + hex("01000000") + NAN_BYTES + ACCUMULATOR;
const QByteArray TOP = SAMPLE.repeated(6) + NAN_BYTES.repeated(4) + ACCUMULATOR.repeated(4);

TEST(RecordImages, Defaults) {
    EXPECT_EQ(image(storage::DEFAULT_META_MIN_MAX_AVG), MIN_MAX_AVG);
    EXPECT_EQ(image(storage::DEFAULT_META_MIN_MAX_AVG_PF), MIN_MAX_AVG_PF);
    EXPECT_EQ(image(storage::DEFAULT_SAMPLE), SAMPLE);
    EXPECT_EQ(image(storage::DEFAULT_META_TOP_MIN_MAX_AVG), TOP);

    EXPECT_EQ(streamed(storage::DEFAULT_META_DEMAND_ENERGY),
              UNSET_TIME + UNSET_TIME + hex("00000000") + ACCUMULATOR + SAMPLE + hex("00000000"));

    const QByteArray trend = streamed(storage::DEFAULT_META_TREND_ENERGY);
    EXPECT_EQ(trend, UNSET_TIME.repeated(2) + hex("00000000") + MIN_MAX_AVG.repeated(48) +
                         MIN_MAX_AVG_PF.repeated(5) + TOP + hex("00000000"));

    const QByteArray entry = UNSET_TIME + NAN_BYTES.repeated(6) + hex("00000000");
    EXPECT_EQ(streamed(storage::DEFAULT_META_TREND_OVERVIEW),
              entry.repeated(320) + UNSET_TIME.repeated(2) + QByteArray(56, '\0'));
    EXPECT_EQ(streamed(storage::DEFAULT_META_SESSION_DATA),
              hex("00000000") + UNSET_TIME.repeated(2) + QByteArray(260, '\0'));

    // The default DSP set-up is the session's hand-worked one without its date-time and its
    // trend and demand intervals.
    QByteArray dsp = DSP_IMAGE;
    dsp.replace(0, 8, QByteArray(8, '\0')).replace(12, 8, QByteArray(8, '\0'));
    EXPECT_EQ(streamed(DEFAULT_DSP_CONFIG), dsp);
    EXPECT_EQ(streamed(DEFAULT_DSP_PROBE_CONFIG), PROBE_IMAGE.repeated(4));
    EXPECT_EQ(image(quarn_system::DEFAULT_BATTERY_STATUS),
              QByteArray(36, '\0') + hex("64000000") + QByteArray(44, '\0') + hex("02000000"));

    QByteArray customInputs;
    for (const char digit : {'1', '2', '3', '4', '5'}) {
        // Name and unit, then range 1 and 50.0, 0.0 and 10.0 as little-endian floats.
        customInputs += utf32le(QByteArray("Custom") + digit).leftJustified(68, '\0') +
                        utf32le(QByteArray("Unit") + digit).leftJustified(36, '\0') +
                        hex("01000000000048420000000000002041");
    }
    EXPECT_EQ(streamed(DEFAULT_INSTRUMENT_CONFIG),
              hex("1f000000e10000000000000000000000"
                  "15000000000000000000000001000000") +
                  QByteArray(16, '\0') + hex("55000000540000004300000000000000") +
                  QByteArray(240, '\0') + hex("fdfffffffdffffff") + customInputs +
                  QByteArray(4, '\0'));
}

// Every raw record reader of the area, with the name its log line gives the record.
TEST(RawRecords, ReadersTakeTheRawImageAndReportShortReads) {
    expectRawReads(DEFAULT_DSP_CONFIG, "ADCO_DSP_CONFIG");
    expectRawReads(DEFAULT_DSP_PROBE_CONFIG, "ADCO_DSP_PROBE_CONFIG");
    expectRawReads(quarn_system::DEFAULT_INSTRUMENT_CONFIG, "buffer");
    expectRawReads(storage::DEFAULT_META_TREND_ENERGY, "META_TREND_ENERGY");
    expectRawReads(storage::DEFAULT_META_DEMAND_ENERGY, "META_DEMAND_ENERGY");
    expectRawReads(storage::DEFAULT_META_SESSION_DATA, "META_SESSION_DATA");
    expectRawReads(storage::DEFAULT_META_TREND_OVERVIEW, "META_TREND_OVERVIEW");
}

TEST(QuarnDateTime, ConvertsBothWays) {
    const QDateTime converted = quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME);
    EXPECT_EQ(converted, utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(converted.timeSpec(), Qt::UTC);
    // Microseconds are cut to whole milliseconds.
    EXPECT_EQ(quarnDateTimeToQDateTime({0u, 123999u}), utc(2000, 1, 1, 0, 0, 0, 123));

    const struct {
        QDateTime time;
        uint32_t seconds;
        uint32_t microseconds;
    } cases[] = {{converted, 378691200u, 0u},
                 {utc(2012, 1, 1, 0, 0, 1, 789), 378691201u, 789000u},
                 // A local time converts through UTC.
                 {QDateTime(QDate(2012, 1, 1), QTime(1, 0, 0), QTimeZone(3600)), 378691200u, 0u},
                 // Times before 2000 wrap around in the unsigned field.
                 {utc(1999, 12, 31, 23, 59, 59), 0xFFFFFFFFu, 0u}};
    for (const auto& c : cases) {
        const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(c.time);
        EXPECT_EQ(std::make_pair(back.seconds, back.microseconds),
                  std::make_pair(c.seconds, c.microseconds))
            << c.time.toString(Qt::ISODate).toStdString();
    }
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

// The ends of each range, the fallback of each label and which texts are translated; the
// auxiliary input definitions and the currency symbol.
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
