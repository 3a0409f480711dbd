#include "reception/record_parser.h"
#include "runtime/numbered_error.h"

#include <QTest>

namespace {

// Values no record in these tests produces, so that an untouched field shows.
constexpr rt::Int16 kOld = -99;

QString oldOr(int value)
{
    return value == kOld ? QStringLiteral("old") : QString::number(value);
}

// Everything a parse of `text` decides, as "outcome A,B,C len N line L": an
// untouched value or length reads "old", a line still holding the whole
// text "same".
QString afterParsing(const QString &text)
{
    ReceptionState state{.Rx_Line = text, .Rx_Len = kOld, .Sens_A = kOld, .Sens_B = kOld, .Sens_C = kOld};
    QString outcome;
    try {
        outcome = parseRecord(state) == RecordOutcome::Parsed ? QStringLiteral("parsed") : QStringLiteral("rejected");
    } catch (const rt::NumberedError &error) {
        outcome = QStringLiteral("error %1").arg(error.number());
    }
    const QString line = state.Rx_Line == text && !text.isEmpty() ? QStringLiteral("same") : state.Rx_Line;
    return QStringLiteral("%1 %2,%3,%4 len %5 line %6")
        .arg(outcome, oldOr(state.Sens_A), oldOr(state.Sens_B), oldOr(state.Sens_C), oldOr(state.Rx_Len), line);
}

} // namespace

class TestRecordParser : public QObject {
    Q_OBJECT

private slots:
    void textSetsValuesLengthAndLine_data();
    void textSetsValuesLengthAndLine();
};

// A text failing the digit test keeps Rx_Len; any other has it set, less a
// final LF CR, even when it then holds no whole record or overflows.
void TestRecordParser::textSetsValuesLengthAndLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // A CR LF ending stays; only one final LF CR is taken off.
    QTest::newRow("512,300,1023 CR LF -> 512,300,1023 len 14") << "512,300,1023\r\n" << "parsed 512,300,1023 len 14 line ";
    QTest::newRow("12,34,56 LF CR LF CR -> len 10") << "12,34,56\n\r\n\r" << "parsed 12,34,56 len 10 line ";
    QTest::newRow("2.5,-3.5,-2.5 -> 2,-4,-2") << "2.5,-3.5,-2.5" << "parsed 2,-4,-2 len 13 line ";
    QTest::newRow("1, 2 5, 3 -> 1,25,3") << "1, 2 5, 3" << "parsed 1,25,3 len 9 line ";
    QTest::newRow("7,,9 -> 7,0,9") << "7,,9" << "parsed 7,0,9 len 4 line ";
    QTest::newRow("7,8, -> 7,8,0") << "7,8," << "parsed 7,8,0 len 4 line ";
    QTest::newRow("100V,200,300mV -> 100,200,300") << "100V,200,300mV" << "parsed 100,200,300 len 14 line ";
    QTest::newRow("1,2,3,4 -> 1,2,3") << "1,2,3,4" << "parsed 1,2,3 len 7 line ";
    // A record ends at its line end: the next one cannot run into field C.
    QTest::newRow("1,2,3 LF 4,5,6 LF -> 1,2,3") << "1,2,3\n4,5,6\n" << "parsed 1,2,3 len 12 line ";

    const QString untouched = QStringLiteral("rejected old,old,old len old line same");
    QTest::newRow("-5,1,2 -> rejected") << "-5,1,2" << untouched;
    QTest::newRow("' 1,2,3' -> rejected") << " 1,2,3" << untouched;
    QTest::newRow("/1,2,3 (code 47) -> rejected") << "/1,2,3" << untouched;
    QTest::newRow(":1,2,3 (code 58) -> rejected") << ":1,2,3" << untouched;
    QTest::newRow("Arabic-Indic 1,2,3 -> rejected") << QString::fromUtf16(u"\u0661,2,3") << untouched;
    QTest::newRow("empty -> rejected") << "" << "rejected old,old,old len old line ";
    // Fewer than two commas in the first record: no whole record to read.
    QTest::newRow("7 CR -> rejected, len 2") << "7\r" << "rejected old,old,old len 2 line same";
    QTest::newRow("1,2 LF CR -> rejected, 1,2 len 3") << "1,2\n\r" << "rejected old,old,old len 3 line 1,2";
    QTest::newRow("0,1023 CR LF 512,300,1023 CR LF -> rejected, len 22")
        << "0,1023\r\n512,300,1023\r\n" << "rejected old,old,old len 22 line same";

    // Each value is stored as its field is read, so an overflow keeps those before it.
    QTest::newRow("1,1E5,2 -> error 6, A new") << "1,1E5,2" << "error 6 1,old,old len 7 line same";
    QTest::newRow("1,2,32767.5 LF CR -> error 6, A and B new, LF CR gone")
        << "1,2,32767.5\n\r" << "error 6 1,2,old len 11 line 1,2,32767.5";

    // Over 32767 characters the length itself overflows, before any field.
    const QString longest = QStringLiteral("4,5,6").leftJustified(32767, u' ');
    QTest::newRow("4,5,6 blanks to 32767 -> 4,5,6") << longest << "parsed 4,5,6 len 32767 line ";
    QTest::newRow("4,5,6 blanks to 32768 -> error 6") << longest + u' ' << "error 6 old,old,old len old line same";
}

void TestRecordParser::textSetsValuesLengthAndLine()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(afterParsing(text), expected);
}

QTEST_GUILESS_MAIN(TestRecordParser)
#include "tst_record_parser.moc"
