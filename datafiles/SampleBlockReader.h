#pragma once
// CSampleBlockReader: the data records of an open test data file, reached through a window
// of 2560 records.
//
// Fetching record k loads nothing while k lies in the window; otherwise the window is
// refilled from record max(k - 512, 0), so forward scans and small backward steps read the
// file about once per 2048 records. Words are converted from the file's order (most
// significant byte first, or least significant first for a legacy file that says so) only
// when they are read, never in bulk.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class CSampleBlockReader {
public:
    static constexpr size_t kWindowRecords = 2560;
    static constexpr size_t kKeepBefore = 512;

    // file is borrowed; records of recordSize bytes (at least 1) start at dataStart.
    CSampleBlockReader(FILE* file, size_t recordSize, int64_t dataStart, bool littleEndian = false);

    // Makes record k (from 0) the current one. False when the file does not hold all of its
    // bytes (a read error or a file cut short since it was opened).
    bool Fetch(uint64_t k);

    // The i-th 16-bit word of the current record in the file's byte order; words beyond
    // the end of the record read as 0.
    uint16_t Word(size_t i) const;

    int64_t CurrentIndex() const { return m_current; }
    int64_t WindowFirst() const { return m_first; }
    int64_t WindowLast() const { return m_last; }
    size_t RecordSize() const { return m_recordSize; }
    // How many times the window was filled (the file reads).
    uint64_t Fills() const { return m_fills; }

private:
    bool Fill(uint64_t start);

    FILE* m_file;
    size_t m_recordSize;
    int64_t m_dataStart;
    bool m_littleEndian;
    int64_t m_current = -1;
    int64_t m_first = 0;
    int64_t m_last = -1;
    std::vector<uint8_t> m_window;
    const uint8_t* m_record = nullptr;
    uint64_t m_fills = 0;
};
