#pragma once

// Helpers of the IPC tests: private endpoints and a way to let the event loop run.

#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace ipctest {

using testsupport::pumpFor;
using testsupport::pumpUntil;
using testsupport::TempEndpoints;

// A small plain record with a recognisable byte image: 01 00 00 00 fe ff ff ff d4 c3 b2 a1.
struct Record {
    std::int32_t a;
    std::int32_t b;
    std::uint32_t c;
};
static_assert(sizeof(Record) == 12, "no padding");
constexpr Record SAMPLE_RECORD{1, -2, 0xA1B2C3D4u};

} // namespace ipctest
