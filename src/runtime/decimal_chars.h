#pragma once

#include <charconv>

namespace rt {

// std::from_chars for a double, in the C locale and correctly rounded. Where
// the standard library has no such overload (libc++ before 20), a stand-in
// reads the same decimal form with strtod in the C locale, with the same
// results and the same errors.
std::from_chars_result decimalFromChars(const char *first, const char *last, double &value);

} // namespace rt
