#include "runtime/leading_number.h"

#include "runtime/decimal_chars.h"
#include "runtime/numbered_error.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

// The conversion reads one character at a time through a cursor that steps
// over blanks, so the grammar below never sees a space, tab or LF.
//
// Decimal numbers are collected into a fixed buffer of significant digits
// and converted with from_chars (decimal_chars.h), which is correctly rounded and ignores
// the host's locale. Leading zeros are not stored; digits past the buffer
// only move the decimal exponent, and a non-zero one among them leaves a
// sticky 1 behind the kept digits so that ties still round the right way.
// A field of any length therefore costs no allocation and converts exactly.

namespace rt {

namespace {

// from_chars needs at most 769 significant digits to round correctly; the
// sticky digit stands for everything beyond them.
constexpr int kMaxSignificantDigits = 780;
// Exponents beyond this already give infinity or zero; capping the text of
// the exponent keeps its arithmetic far from overflow.
constexpr long long kExponentCap = 100'000'000;

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDecimalDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

class Cursor {
public:
    explicit Cursor(QStringView text) : m_text(text) { skipBlanks(); }

    // The end of the text reads as NUL, which ends every number.
    char16_t peek() const { return m_pos < m_text.size() ? m_text[m_pos].unicode() : u'\0'; }
    void advance()
    {
        ++m_pos;
        skipBlanks();
    }
    bool take(char16_t upper)
    {
        const char16_t c = peek();
        if (c != upper && c != (upper | 0x20))
            return false;
        advance();
        return true;
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos].unicode()))
            ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

class SignificantDigits {
public:
    void addIntegerDigit(char16_t digit)
    {
        m_anyDigit = true;
        if (m_count == 0 && digit == u'0')
            return;
        if (!keep(digit))
            ++m_exponent;
    }
    void addFractionDigit(char16_t digit)
    {
        m_anyDigit = true;
        if (m_count == 0 && digit == u'0') {
            --m_exponent;
            return;
        }
        if (keep(digit))
            --m_exponent;
    }
    void scaleByPowerOfTen(long long power) { m_exponent += power; }

    bool anyDigit() const { return m_anyDigit; }
    double magnitude();

private:
    bool keep(char16_t digit)
    {
        if (m_count < kMaxSignificantDigits) {
            m_buffer[m_count++] = static_cast<char>(digit);
            return true;
        }
        m_droppedNonZero = m_droppedNonZero || digit != u'0';
        return false;
    }

    // Digits, a sticky digit, 'e', a sign and the exponent's digits.
    std::array<char, kMaxSignificantDigits + 24> m_buffer{};
    int m_count = 0;
    long long m_exponent = 0; // the power of ten applied to the kept digits
    bool m_droppedNonZero = false;
    bool m_anyDigit = false;
};

double SignificantDigits::magnitude()
{
    if (m_count == 0)
        return 0.0;
    if (m_droppedNonZero) {
        m_buffer[m_count++] = '1';
        --m_exponent;
    }
    // The value lies in [10^(order-1), 10^order): far outside the range of
    // a double there is nothing to convert.
    const long long order = m_exponent + m_count;
    if (order > 400)
        return std::numeric_limits<double>::infinity();
    if (order < -400)
        return 0.0;

    char *end = m_buffer.data() + m_count;
    *end++ = 'e';
    end = std::to_chars(end, m_buffer.data() + m_buffer.size(), m_exponent).ptr;

    double value = 0.0;
    const auto result = decimalFromChars(m_buffer.data(), end, value);
    if (result.ec == std::errc::result_out_of_range)
        return order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return value;
}

long long exponentPart(Cursor &cursor)
{
    if (!cursor.take(u'E'))
        return 0;
    const bool negative = cursor.peek() == u'-';
    if (negative || cursor.peek() == u'+')
        cursor.advance();
    long long exponent = 0;
    for (char16_t c = cursor.peek(); isDecimalDigit(c); c = cursor.peek()) {
        if (exponent < kExponentCap)
            exponent = exponent * 10 + (c - u'0');
        cursor.advance();
    }
    return negative ? -exponent : exponent;
}

double decimalNumber(Cursor &cursor)
{
    const bool negative = cursor.peek() == u'-';
    if (negative || cursor.peek() == u'+')
        cursor.advance();

    SignificantDigits digits;
    for (char16_t c = cursor.peek(); isDecimalDigit(c); c = cursor.peek()) {
        digits.addIntegerDigit(c);
        cursor.advance();
    }
    if (cursor.peek() == u'.') {
        cursor.advance();
        for (char16_t c = cursor.peek(); isDecimalDigit(c); c = cursor.peek()) {
            digits.addFractionDigit(c);
            cursor.advance();
        }
    }
    if (!digits.anyDigit())
        return 0.0;
    digits.scaleByPowerOfTen(exponentPart(cursor));

    const double value = digits.magnitude();
    // Zero has one sign here: "-0" and a negative underflow read as 0.
    return negative && value != 0.0 ? -value : value;
}

int digitValue(char16_t c, int radix)
{
    int value = radix;
    if (isDecimalDigit(c))
        value = c - u'0';
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    return value < radix ? value : -1;
}

// Up to 16 bits the value is a 16-bit two's complement (&HFFFF is -1), up to
// 32 bits a 32-bit one (&HFFFFFFFF is -1); anything wider overflows.
double radixNumber(Cursor &cursor, int radix)
{
    std::uint64_t value = 0;
    for (int digit = digitValue(cursor.peek(), radix); digit >= 0; digit = digitValue(cursor.peek(), radix)) {
        value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(digit);
        if (value > std::numeric_limits<std::uint32_t>::max())
            raiseOverflow();
        cursor.advance();
    }
    if (value <= std::numeric_limits<std::uint16_t>::max())
        return static_cast<std::int16_t>(value);
    return static_cast<std::int32_t>(value);
}

} // namespace

double leadingNumber(QStringView text)
{
    Cursor cursor(text);
    if (cursor.peek() != u'&')
        return decimalNumber(cursor);
    cursor.advance();
    if (cursor.take(u'H'))
        return radixNumber(cursor, 16);
    if (cursor.take(u'O'))
        return radixNumber(cursor, 8);
    return 0.0;
}

Int16 leadingInt16(QStringView text)
{
    return roundToInt16(leadingNumber(text));
}

} // namespace rt
