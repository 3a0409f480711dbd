#include "recording/csv_line.h"

namespace {

bool needsQuotes(const QString &field)
{
    for (const QChar c : field) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    }
    return false;
}

QByteArray quoted(const QString &field)
{
    QString text = field;
    text.replace(u'"', QStringLiteral("\"\""));
    return '"' + text.toUtf8() + '"';
}

} // namespace

QByteArray csvLine(const QStringList &fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += needsQuotes(fields[i]) ? quoted(fields[i]) : fields[i].toUtf8();
    }
    return line + "\r\n";
}
