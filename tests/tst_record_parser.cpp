#include "reception/record_parser.h"
#include "runtime/numbered_error.h"

#include <QTest>

namespace {

// Values no record in these tests produces, so that an untouched field shows.
constexpr rt::Int16 kOld = -99;
constexpr int kOldLen = -1;

ReceptionState stateHolding(const QString &text)
{
    return {.Rx_Line = text, .Rx_Len = kOldLen, .Sens_A = kOld, .Sens_B = kOld, .Sens_C = kOld};
}

QString outcomeOfParse(ReceptionState &state)
{
    try {
        return parseRecord(state) == RecordOutcome::Parsed ? QStringLiteral("parsed") : QStringLiteral("rejected");
    } catch (const rt::NumberedError &error) {
        return QStringLiteral("error %1").arg(error.number());
    }
}

// Sens_A, Sens_B, Sens_C as "A,B,C", an untouched one as "old".
QString valuesOf(const ReceptionState &state)
{
    QStringList values;
    for (const rt::Int16 value : {state.Sens_A, state.Sens_B, state.Sens_C})
        values << (value == kOld ? QStringLiteral("old") : QString::number(value));
    return values.join(u',');
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
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("values");
    QTest::addColumn<int>("rxLen");
    QTest::addColumn<QString>("rxLine");

    QTest::newRow("512,300,1023 CR LF -> 512,300,1023 len 14")
        << "512,300,1023\r\n" << "parsed" << "512,300,1023" << 14 << "";
    QTest::newRow("12,34,56 CR LF -> len 10") << "12,34,56\r\n" << "parsed" << "12,34,56" << 10 << "";
    QTest::newRow("12,34,56 LF CR -> len 8") << "12,34,56\n\r" << "parsed" << "12,34,56" << 8 << "";
    QTest::newRow("12,34,56 -> len 8") << "12,34,56" << "parsed" << "12,34,56" << 8 << "";
    QTest::newRow("12,34,56 LF CR LF CR -> len 10") << "12,34,56\n\r\n\r" << "parsed" << "12,34,56" << 10 << "";
    QTest::newRow("5,-1,-2 -> 5,-1,-2") << "5,-1,-2" << "parsed" << "5,-1,-2" << 7 << "";
    QTest::newRow("2.5,3.5,-2.5 -> 2,4,-2") << "2.5,3.5,-2.5" << "parsed" << "2,4,-2" << 12 << "";
    QTest::newRow("1,2,32767.4 -> 1,2,32767") << "1,2,32767.4" << "parsed" << "1,2,32767" << 11 << "";
    QTest::newRow("1, 2, 3 -> 1,2,3") << "1, 2, 3" << "parsed" << "1,2,3" << 7 << "";
    QTest::newRow("1,2 5,3 -> 1,25,3") << "1,2 5,3" << "parsed" << "1,25,3" << 7 << "";
    QTest::newRow("7,,9 -> 7,0,9") << "7,,9" << "parsed" << "7,0,9" << 4 << "";
    QTest::newRow("7,8, -> 7,8,0") << "7,8," << "parsed" << "7,8,0" << 4 << "";
    QTest::newRow("100V,200,300mV -> 100,200,300") << "100V,200,300mV" << "parsed" << "100,200,300" << 14 << "";
    QTest::newRow("1,2,3,4 -> 1,2,3") << "1,2,3,4" << "parsed" << "1,2,3" << 7 << "";
    QTest::newRow("1,2,3 CR LF 4,5,6 CR LF -> 1,2,3") << "1,2,3\r\n4,5,6\r\n" << "parsed" << "1,2,3" << 14 << "";
    // A record ends at its line end: the next one cannot run into field C.
    QTest::newRow("1,2,3 LF 4,5,6 LF -> 1,2,3") << "1,2,3\n4,5,6\n" << "parsed" << "1,2,3" << 12 << "";

    QTest::newRow("-5,1,2 -> rejected") << "-5,1,2" << "rejected" << "old,old,old" << kOldLen << "-5,1,2";
    QTest::newRow("' 1,2,3' -> rejected") << " 1,2,3" << "rejected" << "old,old,old" << kOldLen << " 1,2,3";
    QTest::newRow(",1023 CR LF -> rejected") << ",1023\r\n" << "rejected" << "old,old,old" << kOldLen << ",1023\r\n";
    QTest::newRow("/1,2,3 (code 47) -> rejected") << "/1,2,3" << "rejected" << "old,old,old" << kOldLen << "/1,2,3";
    QTest::newRow(":1,2,3 (code 58) -> rejected") << ":1,2,3" << "rejected" << "old,old,old" << kOldLen << ":1,2,3";
    QTest::newRow("Arabic-Indic 1,2,3 -> rejected") << QString::fromUtf16(u"\u0661,2,3") << "rejected"
                                                    << "old,old,old" << kOldLen << QString::fromUtf16(u"\u0661,2,3");
    QTest::newRow("CR LF -> rejected") << "\r\n" << "rejected" << "old,old,old" << kOldLen << "\r\n";
    QTest::newRow("empty -> rejected") << "" << "rejected" << "old,old,old" << kOldLen << "";
    // Fewer than two commas in the first record: no whole record to read.
    QTest::newRow("512,30 -> rejected, len 6") << "512,30" << "rejected" << "old,old,old" << 6 << "512,30";
    QTest::newRow("7 CR -> rejected, len 2") << "7\r" << "rejected" << "old,old,old" << 2 << "7\r";
    QTest::newRow("1,2 LF CR -> rejected, 1,2 len 3") << "1,2\n\r" << "rejected" << "old,old,old" << 3 << "1,2";
    QTest::newRow("0,1023 CR LF 512,300,1023 CR LF -> rejected, len 22")
        << "0,1023\r\n512,300,1023\r\n" << "rejected" << "old,old,old" << 22 << "0,1023\r\n512,300,1023\r\n";

    // Each value is stored as its field is read, so an overflow keeps those before it.
    QTest::newRow("40000,1,2 -> error 6") << "40000,1,2" << "error 6" << "old,old,old" << 9 << "40000,1,2";
    QTest::newRow("1,1E5,2 -> error 6, A new") << "1,1E5,2" << "error 6" << "1,old,old" << 7 << "1,1E5,2";
    QTest::newRow("1,2,32767.5 LF CR -> error 6, A and B new, LF CR gone")
        << "1,2,32767.5\n\r" << "error 6" << "1,2,old" << 11 << "1,2,32767.5";

    // Over 32767 characters the length itself overflows, before any field.
    const QString longest = QStringLiteral("4,5,6").leftJustified(32767, u' ');
    const QString tooLong = longest + u' ';
    QTest::newRow("4,5,6 blanks to 32767 -> 4,5,6") << longest << "parsed" << "4,5,6" << 32767 << "";
    QTest::newRow("4,5,6 blanks to 32768 -> error 6") << tooLong << "error 6" << "old,old,old" << kOldLen << tooLong;
}

void TestRecordParser::textSetsValuesLengthAndLine()
{
    QFETCH(QString, text);
    QFETCH(QString, outcome);
    QFETCH(QString, values);
    QFETCH(int, rxLen);
    QFETCH(QString, rxLine);

    ReceptionState state = stateHolding(text);
    QCOMPARE(outcomeOfParse(state), outcome);
    QCOMPARE(valuesOf(state), values);
    QCOMPARE(state.Rx_Len, rxLen);
    QCOMPARE(state.Rx_Line, rxLine);
}

QTEST_GUILESS_MAIN(TestRecordParser)
#include "tst_record_parser.moc"
