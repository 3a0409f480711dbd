#pragma once

#include <QString>

struct OpenFailure;

// The second line of an opening error's box: which device, what went wrong
// and what the user can do about it.
QString openFailureDetail(const OpenFailure &failure);

// The box shown when the open device fails: "Связь с Com 3 потеряна: ...".
QString deviceLostText(int port);
// Its second line, naming the device.
QString deviceLostDetail(const QString &path);
