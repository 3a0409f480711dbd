#include "runtime/number_text.h"

namespace rt {

QString plainText(int value)
{
    return QString::number(value);
}

QString signSpacedText(int value)
{
    return value < 0 ? plainText(value) : QLatin1Char(' ') + plainText(value);
}

} // namespace rt
