#include "runtime/int16.h"

#include "runtime/numbered_error.h"

#include <cmath>
#include <limits>

namespace rt {

namespace {
constexpr long long kMin = std::numeric_limits<Int16>::min();
constexpr long long kMax = std::numeric_limits<Int16>::max();
} // namespace

Int16 toInt16(long long value)
{
    if (value < kMin || value > kMax)
        raiseOverflow();
    return static_cast<Int16>(value);
}

Int16 add(Int16 a, Int16 b)
{
    return toInt16(static_cast<long long>(a) + b);
}

Int16 subtract(Int16 a, Int16 b)
{
    return toInt16(static_cast<long long>(a) - b);
}

Int16 roundToInt16(double value)
{
    // The comparison is written so that NaN fails it too.
    if (!(value >= kMin - 0.5 && value <= kMax + 0.5))
        raiseOverflow();
    // std::nearbyint follows the default rounding mode, which is to nearest
    // with ties to even; -32768.5 and 32767.5 round out of range and fail here.
    return toInt16(static_cast<long long>(std::nearbyint(value)));
}

} // namespace rt
