#include "storage/TableStreamReader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace storage {

TableStreamReader::TableStreamReader(QIODevice& device)
    : m_device(device) {}

bool TableStreamReader::allocate() {
    try {
        m_block.resize(BLOCK_SIZE);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool TableStreamReader::peek(int count, int& available) {
    if (m_end - m_begin < count) {
        if (static_cast<int>(m_block.size()) < count) {
            try {
                m_block.resize(count);
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        std::memmove(m_block.data(), m_block.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
        while (m_end < count) {
            const qint64 read =
                m_device.read(m_block.data() + m_end, static_cast<qint64>(m_block.size()) - m_end);
            if (read <= 0) {
                break;
            }
            m_end += static_cast<int>(read);
        }
    }
    available = std::min(count, m_end - m_begin);
    return true;
}

} // namespace storage
