#pragma once

#include <QByteArray>
#include <QStringList>

// One CSV line (RFC 4180) in UTF-8, ended by CR LF. A field holding a comma,
// a quote, CR or LF is put in quotes with its inner quotes doubled; any
// other field is written as it is.
QByteArray csvLine(const QStringList &fields);
