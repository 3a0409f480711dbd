#pragma once

#include <QString>

#include <stdexcept>

namespace rt {

// The error numbers this program raises. The serial ones match what users
// of serial tools on the desktop know from their messages.
enum ErrorNumber : int {
    Overflow = 6,                 // a 16-bit result out of -32768..32767
    InvalidPropertyValue = 380,   // a control given a value it cannot take
    InvalidPortNumber = 8002,     // no such port, or it cannot be opened
    PortAlreadyOpen = 8005,       // the port is held by another program
};

// An error that carries its number and a description naming what failed and
// why; the caller decides what, if anything, the user sees.
class NumberedError : public std::runtime_error {
public:
    NumberedError(int number, const QString &description);

    int number() const noexcept { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

[[noreturn]] void raiseOverflow();
[[noreturn]] void raiseInvalidPropertyValue(const QString &what);

} // namespace rt
