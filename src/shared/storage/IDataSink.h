#pragma once

#include <QtGlobal>

namespace storage {

// Consumer of a session copy: takes one whole protocol table (header included) per call.
class IDataSink {
public:
    virtual ~IDataSink() = default;

    // `size` bytes from `table`; false stops the copy.
    virtual bool write(const char* table, quint16 size) = 0;
};

} // namespace storage
