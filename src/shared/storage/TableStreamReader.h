#pragma once

#include <QIODevice>

#include <vector>

namespace storage {

// Reads a device in large blocks and hands out runs of contiguous bytes from them, so that a
// stream of small tables costs one device read per block instead of two per table. Memory is
// bounded by the block and the largest run asked for.
class TableStreamReader {
public:
    static constexpr int BLOCK_SIZE = 64 * 1024;

    explicit TableStreamReader(QIODevice& device);

    // False when the block cannot be allocated.
    bool allocate();
    // Makes `count` bytes contiguous at data() without consuming them, growing the block when
    // it is smaller (false: out of memory). `available` is how many there are: fewer than
    // `count` only at the end of the device.
    bool peek(int count, int& available);
    const char* data() const { return m_block.data() + m_begin; }
    // Consumes bytes peeked before.
    void skip(int count) { m_begin += count; }

private:
    QIODevice& m_device;
    std::vector<char> m_block;
    int m_begin = 0;
    int m_end = 0;
};

} // namespace storage
