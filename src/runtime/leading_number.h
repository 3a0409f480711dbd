#pragma once

#include "runtime/int16.h"

#include <QStringView>

namespace rt {

// The number at the head of a text, as a person reading a device's output
// would take it: blanks are skipped, an optional sign, decimal digits with one
// period as the decimal point (whatever the host's locale), an optional
// exponent, or &H / &O for hexadecimal and octal; the first character that
// cannot continue the number ends it, and a text without digits reads as 0.
double leadingNumber(QStringView text);

// leadingNumber rounded to a 16-bit integer, halves to even; raises the
// overflow error outside -32768..32767.
Int16 leadingInt16(QStringView text);

} // namespace rt
