#pragma once

#include "runtime/int16.h"

#include <QStringView>

namespace rt {

// The number at the head of a text, as a person reading a device's output
// would take it: blanks are skipped, an optional sign, decimal digits with one
// period as the decimal point (whatever the host's locale), an optional
// exponent, or &H / &O for hexadecimal and octal; the first character that
// cannot continue the number ends it, and a text without digits reads as 0.
//
// The finer points: spaces, tabs and LFs are skipped anywhere, even between
// digits ("2 5" is 25). Only E or e marks an exponent (not D); an exponent
// without digits ("1e", "1e+") is not part of the number. "1." is 1, ".5" is
// 0.5, "." and "-" are 0. Values beyond a double give +-infinity, values
// below its smallest give 0. &H and &O take no sign ("-&H10" is 0); a value
// up to 16 bits reads as a 16-bit two's complement (&HFFFF is -1, &H8000 is
// -32768), up to 32 bits as a 32-bit one (&HFFFFFFFF is -1), and a wider one
// raises the overflow error (6). NUL and any character above 127 end the
// number. Any length of text converts without allocating.
double leadingNumber(QStringView text);

// leadingNumber rounded to a 16-bit integer, halves to even; raises the
// overflow error outside -32768..32767.
Int16 leadingInt16(QStringView text);

} // namespace rt
