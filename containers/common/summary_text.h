#pragma once

#include <QString>
#include <QtGlobal>

#include <charconv>
#include <cstring>
#include <type_traits>

/// The one-line summary of a row, built in a fixed buffer and made a QString once: summaries go
/// on millions of rows, where each step of a chain of QString concatenations would allocate.
/// The text is Latin-1; what does not fit in the buffer is left out.
class SummaryText
{
public:
    SummaryText &operator<<(const char *text) { return append(text, qsizetype(std::strlen(text))); }

    /// A number in decimal; a bool or a char is no number here.
    template <class Integer, std::enable_if_t<std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>
                                                  && !std::is_same_v<Integer, char>,
                                              int> = 0>
    SummaryText &operator<<(Integer value)
    {
        const std::to_chars_result result = std::to_chars(m_text + m_length, m_text + capacity, value);
        if (result.ec == std::errc())
            m_length = result.ptr - m_text;
        return *this;
    }

    SummaryText &append(const char *text, qsizetype length)
    {
        const qsizetype taken = qMin(length, capacity - m_length);
        std::memcpy(m_text + m_length, text, size_t(taken));
        m_length += taken;
        return *this;
    }

    QString toString() const { return QString::fromLatin1(m_text, m_length); }

private:
    static constexpr qsizetype capacity = 160;
    char m_text[capacity];
    qsizetype m_length = 0;
};
