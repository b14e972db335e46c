// Reading a part's stream line by line within a byte range: what the splits and the body
// decoder look at to find markers, boundaries and uuencoded data lines.
#pragma once

#include "decrypt/mime/ole_stream.h"

#include <algorithm>
#include <string_view>

// Longest line piece read at a time; longer lines arrive in pieces.
constexpr UINT kLineBuffer = 1024;

// The line is `word` followed by nothing but blanks.
inline bool IsLineWithPadding(std::string_view line, std::string_view word)
{
    if (line.size() < word.size() || line.substr(0, word.size()) != word)
        return false;
    return line.find_first_not_of(" \t", word.size()) == std::string_view::npos;
}

// Reads the lines of a range and tells, for each, where it starts and how the line before
// ended, so a part can end before the terminator that precedes a marker line.
class CRangeLines {
public:
    CRangeLines(COleStream& stream, DWORD start, DWORD end) : m_stream(stream), m_end(end)
    {
        m_stream.Seek(start, CFile::begin);
    }

    // The next line; false at the end of the range.
    bool Next()
    {
        m_prevTerminator = m_info.terminator;
        m_start = m_stream.GetPosition();
        if (m_start >= m_end || !m_stream.ReadLine(m_buf, kLineBuffer, m_info))
            return false;
        m_atLineStart = m_nextAtLineStart;
        // A piece cut at the buffer's limit is followed by more of the same line.
        m_nextAtLineStart = m_info.terminator != 0 || m_info.length < kLineBuffer - 1;
        size_t len = m_info.length;
        if (m_start + static_cast<long long>(len) > m_end)
            len = static_cast<size_t>(m_end - m_start);
        m_line = std::string_view(m_buf, len);
        return true;
    }

    std::string_view Line() const { return m_line; }
    // True when the line starts at the start of a physical line (not a piece of a long one).
    bool Whole() const { return m_atLineStart; }
    DWORD Start() const { return static_cast<DWORD>(m_start); }
    // Just after the line and its terminator, never past the range.
    DWORD After() const { return static_cast<DWORD>(std::min<long long>(m_stream.GetPosition(), m_end)); }
    // Where a part that ends before this line ends: before the previous line's terminator,
    // but never before `partStart`.
    DWORD EndBefore(DWORD partStart) const
    {
        long long e = m_start - m_prevTerminator;
        return static_cast<DWORD>(std::max<long long>(e, partStart));
    }
    // Where reading stands after the current line, to come back to it after looking ahead.
    struct Mark {
        long long pos;
        COleStream::LineInfo info;
        bool nextAtLineStart;
    };
    Mark Here() const { return {m_stream.GetPosition(), m_info, m_nextAtLineStart}; }
    void Restore(const Mark& mark)
    {
        m_stream.Seek(mark.pos, CFile::begin);
        m_info = mark.info;
        m_nextAtLineStart = mark.nextAtLineStart;
    }
    // The line's bytes as a zero-terminated text (cut at an embedded zero byte).
    const char* Text()
    {
        m_buf[m_line.size()] = 0;
        return m_buf;
    }

private:
    COleStream& m_stream;
    long long m_end;
    char m_buf[kLineBuffer];
    std::string_view m_line;
    COleStream::LineInfo m_info;
    long long m_start = 0;
    int m_prevTerminator = 0;
    bool m_atLineStart = true;
    bool m_nextAtLineStart = true;
};
