#include "datafiles/SampleBlockReader.h"

#include "foundation/AppUtils.h"

#include <algorithm>

CSampleBlockReader::CSampleBlockReader(FILE* file, size_t recordSize, int64_t dataStart, bool littleEndian)
    : m_file(file), m_recordSize(std::max<size_t>(recordSize, 1)), m_dataStart(dataStart), m_littleEndian(littleEndian)
{
    m_window.resize(kWindowRecords * m_recordSize);
    Fill(0);
}

bool CSampleBlockReader::Fill(uint64_t start)
{
    m_first = static_cast<int64_t>(start);
    m_last = m_first - 1;
    m_current = -1;
    m_record = nullptr;
    if (m_file == nullptr) {
        return false;
    }
    ++m_fills;
    const int64_t offset = m_dataStart + static_cast<int64_t>(start * m_recordSize);
    if (FileSeek(m_file, offset, SEEK_SET) != 0) {
        return false;
    }
    const size_t bytes = FileRead(m_window.data(), 1, m_window.size(), m_file);
    // Only whole records count.
    m_last = m_first + static_cast<int64_t>(bytes / m_recordSize) - 1;
    return true;
}

bool CSampleBlockReader::Fetch(uint64_t k)
{
    const auto index = static_cast<int64_t>(k);
    if (index == m_current && m_record != nullptr) {
        return true;
    }
    if (index < m_first || index > m_last) {
        Fill(k > kKeepBefore ? k - kKeepBefore : 0);
        if (index < m_first || index > m_last) {
            return false;
        }
    }
    m_current = index;
    m_record = m_window.data() + static_cast<size_t>(index - m_first) * m_recordSize;
    return true;
}

uint16_t CSampleBlockReader::Word(size_t i) const
{
    if (m_record == nullptr || 2 * i + 2 > m_recordSize) {
        return 0;
    }
    const uint8_t* p = m_record + 2 * i;
    return m_littleEndian ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : static_cast<uint16_t>((p[0] << 8) | p[1]);
}
