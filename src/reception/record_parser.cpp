#include "reception/record_parser.h"

#include "runtime/leading_number.h"

namespace {

bool startsWithDigit(const QString &text)
{
    return !text.isEmpty() && text.front() >= u'0' && text.front() <= u'9';
}

// Only LF followed by CR is taken off; a CR LF ending stays in the text.
void removeFinalLfCr(ReceptionState &state)
{
    if (!state.Rx_Line.endsWith(u"\n\r"))
        return;
    state.Rx_Line.chop(2);
    state.Rx_Len = rt::toInt16(state.Rx_Line.size());
}

// A record ends at its first CR or LF: what follows is another record, or
// the start of one, and must not run into field C.
QStringView firstRecord(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n')
            return text.first(i);
    }
    return text;
}

} // namespace

RecordOutcome parseRecord(ReceptionState &state)
{
    if (!startsWithDigit(state.Rx_Line))
        return RecordOutcome::Rejected;
    state.Rx_Len = rt::toInt16(state.Rx_Line.size());
    removeFinalLfCr(state);

    const QStringView record = firstRecord(state.Rx_Line);
    const qsizetype firstComma = record.indexOf(u',');
    if (firstComma < 0)
        return RecordOutcome::Rejected;
    const qsizetype secondComma = record.indexOf(u',', firstComma + 1);
    if (secondComma < 0)
        return RecordOutcome::Rejected;

    // Each value is stored before the next field is read: an overflow in a
    // later field leaves the earlier ones updated.
    state.Sens_A = rt::leadingInt16(record.first(firstComma));
    state.Sens_B = rt::leadingInt16(record.sliced(firstComma + 1, secondComma - firstComma - 1));
    state.Sens_C = rt::leadingInt16(record.sliced(secondComma + 1));
    state.Rx_Line.clear();
    return RecordOutcome::Parsed;
}
