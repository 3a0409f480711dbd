#include "runtime/decimal_chars.h"

#ifdef SENSOR_MONITOR_STRTOD_FALLBACK
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include <locale.h>
#if __has_include(<xlocale.h>)
#include <xlocale.h>
#endif
#endif

namespace rt {

#ifndef SENSOR_MONITOR_STRTOD_FALLBACK

std::from_chars_result decimalFromChars(const char *first, const char *last, double &value)
{
    return std::from_chars(first, last, value);
}

#else

namespace {

bool isDigit(const char *p, const char *last)
{
    return p < last && *p >= '0' && *p <= '9';
}

const char *skipDigits(const char *p, const char *last)
{
    while (isDigit(p, last))
        ++p;
    return p;
}

// The end of the longest prefix that from_chars reads in its general form:
// -?digits(.digits)?(e[+-]?digits)?, at least one mantissa digit; `first`
// when there is none. strtod alone would also take blanks, a plus sign,
// "inf", "nan" and hexadecimal.
const char *decimalFormEnd(const char *first, const char *last)
{
    const char *p = first;
    if (p < last && *p == '-')
        ++p;
    const char *digitsStart = p;
    p = skipDigits(p, last);
    bool anyDigit = p != digitsStart;
    if (p < last && *p == '.') {
        const char *fraction = p + 1;
        const char *fractionEnd = skipDigits(fraction, last);
        if (anyDigit || fractionEnd != fraction) {
            anyDigit = true;
            p = fractionEnd;
        }
    }
    if (!anyDigit)
        return first;
    if (p < last && (*p == 'e' || *p == 'E')) {
        const char *exponent = p + 1;
        if (exponent < last && (*exponent == '+' || *exponent == '-'))
            ++exponent;
        if (isDigit(exponent, last))
            p = skipDigits(exponent, last);
    }
    return p;
}

} // namespace

std::from_chars_result decimalFromChars(const char *first, const char *last, double &value)
{
    const char *formEnd = decimalFormEnd(first, last);
    if (formEnd == first)
        return {first, std::errc::invalid_argument};
    // strtod needs a terminated text and follows the thread's locale, which a
    // Qt program takes from the environment: a copy, read in the C locale.
    const std::string copy(first, formEnd);
    const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = uselocale(cLocale);
    errno = 0;
    char *end = nullptr;
    const double result = std::strtod(copy.c_str(), &end);
    const int error = errno;
    uselocale(previous);
    freelocale(cLocale);
    const char *stop = first + (end - copy.c_str());
    // A subnormal result is a value, as from_chars gives it; only zero or
    // infinity from digits that are neither is out of range.
    if (error == ERANGE && (result == 0.0 || std::isinf(result)))
        return {stop, std::errc::result_out_of_range};
    value = result;
    return {stop, std::errc()};
}

#endif

} // namespace rt
