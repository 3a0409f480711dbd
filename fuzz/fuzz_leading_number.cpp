// libFuzzer target for the leading-number conversion, against an oracle.
// The input picks a double and a way to write it (shortest fixed, shortest
// with exponent, 17 significant digits, forced sign, leading zeros, upper-case
// E, blanks scattered anywhere, a unit after it). Every such text must read
// back as exactly that double, and as a 16-bit integer it must give the
// double rounded half to even, or the overflow error (6) exactly when that
// rounded value lies outside -32768..32767.
//
//   tools/fuzz.sh 60        (or: build/fuzz/fuzz/fuzz_leading_number CORPUS fuzz/seeds/fuzz_leading_number)

#include "runtime/leading_number.h"
#include "runtime/numbered_error.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Doubles near the places where the conversion changes its path: the ends of
// the 16-bit range, halves, and plain integers.
double pickDouble(FuzzedDataProvider &input)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: // any finite double, tiny and huge ones included
        return input.ConsumeFloatingPoint<double>();
    case 1: { // an integer plus a binary fraction: exact halves and quarters
        const auto whole = input.ConsumeIntegralInRange<std::int32_t>(-70000, 70000);
        const int bits = input.ConsumeIntegralInRange(0, 12);
        const auto fraction = input.ConsumeIntegralInRange<std::int32_t>(0, (1 << bits) - 1);
        return whole + std::ldexp(double(fraction), -bits);
    }
    case 2: { // a few steps away from a range end or its half
        constexpr std::array<double, 6> anchors{-32768.5, -32768.0, -32767.5, 32766.5, 32767.0, 32767.5};
        double value = anchors[input.ConsumeIntegralInRange<std::size_t>(0, anchors.size() - 1)];
        const int steps = input.ConsumeIntegralInRange(-3, 3);
        for (int k = 0; k < std::abs(steps); ++k)
            value = std::nextafter(value, steps < 0 ? -1e9 : 1e9);
        return value;
    }
    default: // a decimal fraction, which a double only approximates
        return double(input.ConsumeIntegral<std::int32_t>()) / std::pow(10.0, input.ConsumeIntegralInRange(0, 8));
    }
}

std::string shortest(double value, std::chars_format format)
{
    std::array<char, 1200> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format);
    return std::string(buffer.data(), result.ptr);
}

std::string printed(const char *format, double value)
{
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, value);
    return buffer.data();
}

// A text that denotes `value` exactly: each form round-trips.
std::string writeDouble(FuzzedDataProvider &input, double value)
{
    std::string text;
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        text = shortest(value, std::chars_format::fixed);
        break;
    case 1:
        text = shortest(value, std::chars_format::scientific);
        break;
    case 2:
        text = printed("%.17g", value);
        break;
    default:
        text = printed("%.16e", value);
        break;
    }
    const bool negative = text.front() == '-';
    const std::size_t digitsStart = negative ? 1 : 0;
    if (input.ConsumeBool())
        text.insert(digitsStart, std::string(input.ConsumeIntegralInRange(1, 3), '0'));
    if (!negative && input.ConsumeBool())
        text.insert(0, "+");
    if (input.ConsumeBool()) {
        for (char &c : text) {
            if (c == 'e')
                c = 'E';
        }
    }
    return text;
}

// Blanks are skipped anywhere in a number, even between its digits.
void scatterBlanks(FuzzedDataProvider &input, std::string &text)
{
    static constexpr std::string_view kBlanks = " \t\n";
    const int count = input.ConsumeIntegralInRange(0, 4);
    for (int k = 0; k < count; ++k) {
        const auto at = input.ConsumeIntegralInRange<std::size_t>(0, text.size());
        text.insert(at, 1, kBlanks[input.ConsumeIntegralInRange<std::size_t>(0, kBlanks.size() - 1)]);
    }
}

// What follows a number ends it when its first character after blanks
// cannot continue a number: no digit, period or exponent letter.
bool endsTheNumber(std::string_view unit)
{
    const std::size_t first = unit.find_first_not_of(" \t\n");
    if (first == std::string_view::npos)
        return true;
    return std::string_view("0123456789.eEdD").find(unit[first]) == std::string_view::npos;
}

void checkInt16(const QString &text, double value)
{
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    const bool outOfRange = rounded < -32768.0 || rounded > 32767.0;
    try {
        const rt::Int16 result = rt::leadingInt16(text);
        require(!outOfRange && double(result) == rounded);
    } catch (const rt::NumberedError &error) {
        require(error.number() == rt::Overflow && outOfRange);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const double value = pickDouble(input);
    if (!std::isfinite(value))
        return 0;
    std::string number = writeDouble(input, value);
    require(std::strtod(number.c_str(), nullptr) == value); // the text denotes the double
    scatterBlanks(input, number);
    const std::string unit = input.ConsumeRandomLengthString(8);
    if (endsTheNumber(unit))
        number += unit;

    const QString text = QString::fromLatin1(number.data(), qsizetype(number.size()));
    require(rt::leadingNumber(text) == value);
    checkInt16(text, value);
    return 0;
}
