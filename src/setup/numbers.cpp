#include "setup/numbers.h"

#include <cstdint>
#include <limits>

namespace kestrova::setup {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QChar(0x3000);
}

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Past this a number is out of every range the dialog uses; the digits still count as read.
constexpr long long kTooLarge = std::numeric_limits<std::int32_t>::max() + 1LL;

} // namespace

QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

std::optional<long long> readWholeNumber(const QString& text)
{
    const QString number = trimBlanks(text);
    qsizetype pos = 0;
    bool negative = false;
    if (pos < number.size() && (number[pos] == QLatin1Char('+') || number[pos] == QLatin1Char('-')))
        negative = number[pos++] == QLatin1Char('-');
    long long value = 0;
    bool digits = false;
    for (; pos < number.size() && isDigit(number[pos]); ++pos) {
        digits = true;
        if (value <= kTooLarge)
            value = value * 10 + (number[pos].unicode() - u'0');
    }
    if (pos < number.size() && number[pos] == QLatin1Char('.')) {
        ++pos;
        if (pos < number.size() && isDigit(number[pos])) {
            digits = true;
            if (number[pos].unicode() >= u'5')
                ++value; // half away from zero: the sign is applied after
        }
        while (pos < number.size() && isDigit(number[pos]))
            ++pos;
    }
    if (!digits || pos != number.size() || value > kTooLarge)
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<int> readInt16(const QString& text)
{
    const auto value = readWholeNumber(text);
    if (!value || *value < std::numeric_limits<std::int16_t>::min() ||
        *value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int> readInt32(const QString& text)
{
    const auto value = readWholeNumber(text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

bool NumRangeCheck(const QString& text, int lo, int hi)
{
    const auto value = readInt16(text);
    return value && *value >= lo && *value <= hi;
}

} // namespace kestrova::setup
