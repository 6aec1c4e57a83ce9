// Cost of one battery reading (BatteryStatus::readBatteryStatus, nobody connected to its signal)
// against its floor, seven plain reads of the same attribute files, each held open and read from
// offset 0 with pread. Target: a reading costs at most 1.5 times the seven reads.
//
//     battery_reading [directory of the gauge's attributes, with its trailing slash] [readings]
//
// Without a directory the attributes are plain files in a temporary directory; inside
// scripts/sandbox, /sys/class/power_supply/bq27425-0/ measures the simulated board.

#include "BatteryStatus.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const ATTRIBUTES[][2] = {
    {"present", "1"},           {"status", "Discharging"},  {"capacity", "57"}, {"type", "Battery"},
    {"current_now", "-300000"}, {"voltage_now", "3800000"}, {"temp", "250"},
};
constexpr int WARM_UP = 100;

template <class Reading> double medianMicroseconds(int readings, Reading reading) {
    std::vector<double> samples;
    QElapsedTimer clock;
    for (int index = 0; index < WARM_UP + readings; ++index) {
        clock.start();
        reading();
        if (index >= WARM_UP) {
            samples.push_back(clock.nsecsElapsed() / 1000.0);
        }
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    QTemporaryDir temporary(QDir::tempPath() + "/battery-reading-XXXXXX");
    std::string directory = argc > 1 ? argv[1] : temporary.path().toStdString() + "/";
    const int readings = argc > 2 ? std::max(100, std::atoi(argv[2])) : 20000;
    if (argc <= 1) {
        for (const auto& attribute : ATTRIBUTES) {
            std::ofstream(directory + attribute[0]) << attribute[1] << "\n";
        }
    }

    std::vector<int> descriptors;
    for (const auto& attribute : ATTRIBUTES) {
        descriptors.push_back(::open((directory + attribute[0]).c_str(), O_RDONLY | O_CLOEXEC));
        if (descriptors.back() < 0) {
            std::fprintf(stderr, "battery_reading: cannot open %s%s\n", directory.c_str(),
                         attribute[0]);
            return 1;
        }
    }
    char buffer[4096];
    const double floor = medianMicroseconds(readings, [&] {
        for (const int descriptor : descriptors) {
            if (::pread(descriptor, buffer, sizeof buffer, 0) < 0) {
                std::perror("battery_reading: pread");
            }
        }
    });
    power_manager::BatteryStatus monitor;
    monitor.setPowerSupplyDirectory(QString::fromStdString(directory));
    const double reading = medianMicroseconds(readings, [&] { monitor.readBatteryStatus(); });
    for (const int descriptor : descriptors) {
        ::close(descriptor);
    }

    std::printf("gauge files in %s, %d readings\n", directory.c_str(), readings);
    std::printf("seven plain preads of the held-open files : median %8.2f us\n", floor);
    std::printf("BatteryStatus::readBatteryStatus           : median %8.2f us\n", reading);
    std::printf("ratio reading / seven reads                : median %8.2f\n", reading / floor);
    std::printf("target: ratio at most 1.50 -> %s\n", reading / floor <= 1.5 ? "met" : "NOT met");
    return 0;
}
