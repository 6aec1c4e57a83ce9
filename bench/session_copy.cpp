// Throughput of copying a session out as protocol tables: a session whose trend data is 50 MiB
// of 680-byte tables goes through FileDataStorage::copy (configuration tables, then the data
// through transferContent) into a sink that discards, beside `cat` of the same data file to
// /dev/null in the same run. The file is read once first so both read from the page cache; each
// figure is the best of several runs. The target is at least half of cat's throughput.
//
//     session_copy [runs, default 7]

#include "storage/FileDataStorage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {

constexpr qint64 TABLE_SIZE = storage::FileDataStorage::TREND_RECORD_SIZE;
constexpr qint64 TABLES = 50 * 1024 * 1024 / TABLE_SIZE;

struct DiscardingSink : storage::IDataSink {
    bool write(const char* table, quint16 size) override {
        checksum += static_cast<unsigned char>(table[size - 1]);
        return true;
    }
    quint64 checksum = 0;
};

double bestSeconds(int runs, const std::function<bool()>& run) {
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run()) {
            std::fprintf(stderr, "session_copy: a run failed\n");
            std::exit(1);
        }
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    QTemporaryDir temp;
    const QString key =
        QStringLiteral("quarn-session-copy-bench-%1").arg(QRandomGenerator::global()->generate());
    storage::FileDataStorage storage(temp.path(), key);
    SESSION_CONFIG sessionConfig = defaultSessionConfig();
    ADCO_DSP_CONFIG dspConfig = DEFAULT_DSP_CONFIG;
    ADCO_DSP_PROBE_CONFIG probeConfig = DEFAULT_DSP_PROBE_CONFIG;
    quarn_system::INSTRUMENT_CONFIG instrumentConfig = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    if (!storage.create("bench", sessionConfig, dspConfig, probeConfig, instrumentConfig)) {
        std::fprintf(stderr, "session_copy: cannot create the session\n");
        return 1;
    }
    // The trend data as the recorder leaves it: one table per record, tag, size, time stamp.
    const QString trendFile = temp.path() + "/bench/" + storage::FileDataStorage::s_trend;
    {
        QByteArray table(TABLE_SIZE, '\0');
        table[0] = 0x40;
        table[2] = static_cast<char>(TABLE_SIZE & 0xFF);
        table[3] = static_cast<char>(TABLE_SIZE >> 8);
        QFile file(trendFile);
        file.open(QIODevice::WriteOnly | QIODevice::Append);
        for (qint64 i = 0; i < TABLES; ++i) {
            table[8] = static_cast<char>(i);
            file.write(table);
        }
    }
    const double megabytes = TABLES * TABLE_SIZE / 1e6;

    const auto cat = [&trendFile] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start("cat", {trendFile});
        return process.waitForFinished(-1) && process.exitCode() == 0;
    };
    DiscardingSink sink;
    const auto copy = [&storage, &sink] {
        storage::COPY_INFO info;
        return storage.copy(sink, info) && info.tableCount == TABLES + 3;
    };
    cat();
    const double catSeconds = bestSeconds(runs, cat);
    const double copySeconds = bestSeconds(runs, copy);
    std::printf("session of %.1f MB (%lld tables of %lld bytes), best of %d runs\n", megabytes,
                static_cast<long long>(TABLES), static_cast<long long>(TABLE_SIZE), runs);
    std::printf("  copy through transferContent  %8.1f MB/s  (%.1f ms)\n", megabytes / copySeconds,
                copySeconds * 1e3);
    std::printf("  cat to /dev/null              %8.1f MB/s  (%.1f ms)\n", megabytes / catSeconds,
                catSeconds * 1e3);
    std::printf("  copy / cat                    %8.2f   (target >= 0.50)\n",
                catSeconds / copySeconds);
    return 0;
}
