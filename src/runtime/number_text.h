#pragma once

#include <QString>

namespace rt {

// "512", "-7": value boxes and chart cells.
QString plainText(int value);

// " 512", "-7": one leading space where the sign would stand for zero and
// positive numbers; port list entries and the invalid-port message.
QString signSpacedText(int value);

} // namespace rt
