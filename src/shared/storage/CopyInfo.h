#pragma once

#include <QtGlobal>

namespace storage {

// What a copy of a session handed to its sink, summed over every device the copy visits (the
// configuration tables first, then the trend and then the demand data).
struct COPY_INFO {
    // Whole tables passed on; a table cut short at the end of a file is not counted.
    qint64 tableCount = 0;
    qint64 byteCount = 0;
    // The first eight body bytes of the last table passed on (every recorded table starts with
    // its time stamp), read as a host time stamp: 100 ns units since 1601-01-01 00:00:00 UTC,
    // high 32-bit word first, each word little-endian. 0 until a table has been passed on.
    quint64 lastTimeStamp = 0;
};

} // namespace storage
