#include "runtime/numbered_error.h"

namespace rt {

NumberedError::NumberedError(int number, const QString &description)
    : std::runtime_error(QStringLiteral("error %1: %2").arg(number).arg(description).toStdString())
    , m_number(number)
    , m_description(description)
{
}

void raiseOverflow()
{
    throw NumberedError(Overflow, QStringLiteral("Overflow"));
}

void raiseInvalidPropertyValue(const QString &what)
{
    throw NumberedError(InvalidPropertyValue, QStringLiteral("Invalid property value: %1").arg(what));
}

} // namespace rt
