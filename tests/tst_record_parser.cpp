#include "reception/record_parser.h"
#include "runtime/numbered_error.h"

#include <QTest>

namespace {

// Values no record in these tests produces, so that an untouched field shows.
constexpr rt::Int16 kOld = -99;
constexpr rt::Int16 kOldLen = -1;

ReceptionState stateHolding(const QString &text)
{
    ReceptionState state;
    state.Rx_Line = text;
    state.Rx_Len = kOldLen;
    state.Sens_A = kOld;
    state.Sens_B = kOld;
    state.Sens_C = kOld;
    return state;
}

// The number of the error parseRecord raised, or 0 when it raised none.
int errorNumberOfParse(ReceptionState &state)
{
    try {
        parseRecord(state);
    } catch (const rt::NumberedError &error) {
        return error.number();
    }
    return 0;
}

} // namespace

class TestRecordParser : public QObject {
    Q_OBJECT

private slots:
    void wellFormedRecordsAreParsed_data();
    void wellFormedRecordsAreParsed();
    void textsWithoutAWholeRecordAreRejected_data();
    void textsWithoutAWholeRecordAreRejected();
    void overflowLeavesTheFieldsBeforeItUpdated_data();
    void overflowLeavesTheFieldsBeforeItUpdated();
    void textsOver32767CharactersOverflowBeforeAnyField_data();
    void textsOver32767CharactersOverflowBeforeAnyField();
};

void TestRecordParser::wellFormedRecordsAreParsed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("rxLen");

    QTest::newRow("512,300,1023 CR LF -> 512,300,1023 len 14") << "512,300,1023\r\n" << 512 << 300 << 1023 << 14;
    QTest::newRow("12,34,56 CR LF -> 12,34,56 len 10") << "12,34,56\r\n" << 12 << 34 << 56 << 10;
    QTest::newRow("12,34,56 LF CR -> 12,34,56 len 8") << "12,34,56\n\r" << 12 << 34 << 56 << 8;
    QTest::newRow("12,34,56 -> 12,34,56 len 8") << "12,34,56" << 12 << 34 << 56 << 8;
    QTest::newRow("12,34,56 LF CR LF CR -> len 10") << "12,34,56\n\r\n\r" << 12 << 34 << 56 << 10;
    QTest::newRow("1,2,3,4 -> 1,2,3") << "1,2,3,4" << 1 << 2 << 3 << 7;
    QTest::newRow("7,8, -> 7,8,0") << "7,8," << 7 << 8 << 0 << 4;
    QTest::newRow("7,,9 -> 7,0,9") << "7,,9" << 7 << 0 << 9 << 4;
    QTest::newRow("0,, -> 0,0,0") << "0,," << 0 << 0 << 0 << 3;
    QTest::newRow("100V,200,300mV -> 100,200,300") << "100V,200,300mV" << 100 << 200 << 300 << 14;
    QTest::newRow("2.5,3.5,-2.5 -> 2,4,-2") << "2.5,3.5,-2.5" << 2 << 4 << -2 << 12;
    QTest::newRow("1, 2, 3 -> 1,2,3") << "1, 2, 3" << 1 << 2 << 3 << 7;
    QTest::newRow("1,2 5,3 -> 1,25,3") << "1,2 5,3" << 1 << 25 << 3 << 7;
    QTest::newRow("5,-1,-2 -> 5,-1,-2") << "5,-1,-2" << 5 << -1 << -2 << 7;
    QTest::newRow("32767,-32768,&HFFFF -> 32767,-32768,-1") << "32767,-32768,&HFFFF" << 32767 << -32768 << -1 << 19;
    QTest::newRow("1,2,3 CR LF 4,5,6 CR LF -> 1,2,3") << "1,2,3\r\n4,5,6\r\n" << 1 << 2 << 3 << 14;
    // A record ends at its line end: the next one cannot run into field C.
    QTest::newRow("1,2,3 LF 4,5,6 LF -> 1,2,3") << "1,2,3\n4,5,6\n" << 1 << 2 << 3 << 12;
    QTest::newRow("1,2,3 CR 4,5,6 CR -> 1,2,3") << "1,2,3\r4,5,6\r" << 1 << 2 << 3 << 12;
    QTest::newRow("1,2,3 LF CR 4,5,6 LF CR -> 1,2,3 len 12") << "1,2,3\n\r4,5,6\n\r" << 1 << 2 << 3 << 12;
    QTest::newRow("1,2,\\t3 -> 1,2,3") << "1,2,\t3" << 1 << 2 << 3 << 6;
    QTest::newRow("1,2,0.(1000 zeros)7 -> 1,2,0") << "1,2,0." + QString(1000, u'0') + "7" << 1 << 2 << 0 << 1007;
}

void TestRecordParser::wellFormedRecordsAreParsed()
{
    QFETCH(QString, text);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, rxLen);

    ReceptionState state = stateHolding(text);
    QCOMPARE(parseRecord(state), RecordOutcome::Parsed);
    QCOMPARE(state.Sens_A, a);
    QCOMPARE(state.Sens_B, b);
    QCOMPARE(state.Sens_C, c);
    QCOMPARE(state.Rx_Len, rxLen);
    QVERIFY(state.Rx_Line.isEmpty());
}

// A text failing the digit test keeps Rx_Len; one that passes it but holds
// no whole record has Rx_Len set and a final LF CR removed.
void TestRecordParser::textsWithoutAWholeRecordAreRejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rxLine");
    QTest::addColumn<int>("rxLen");

    QTest::newRow("-5,1,2 -> untouched") << "-5,1,2" << "-5,1,2" << int(kOldLen);
    QTest::newRow("+5,1,2 -> untouched") << "+5,1,2" << "+5,1,2" << int(kOldLen);
    QTest::newRow("' 1,2,3' -> untouched") << " 1,2,3" << " 1,2,3" << int(kOldLen);
    QTest::newRow(",1023 CR LF -> untouched") << ",1023\r\n" << ",1023\r\n" << int(kOldLen);
    QTest::newRow("A,1,2 -> untouched") << "A,1,2" << "A,1,2" << int(kOldLen);
    QTest::newRow("/1,2,3 (code 47) -> untouched") << "/1,2,3" << "/1,2,3" << int(kOldLen);
    QTest::newRow(":1,2,3 (code 58) -> untouched") << ":1,2,3" << ":1,2,3" << int(kOldLen);
    QTest::newRow("Arabic-Indic 1,2,3 -> untouched")
        << QString::fromUtf16(u"\u0661,2,3") << QString::fromUtf16(u"\u0661,2,3") << int(kOldLen);
    QTest::newRow("CR LF -> untouched") << "\r\n" << "\r\n" << int(kOldLen);
    QTest::newRow("LF CR -> untouched") << "\n\r" << "\n\r" << int(kOldLen);
    QTest::newRow("empty -> untouched") << "" << "" << int(kOldLen);
    QTest::newRow("512,30 -> len 6") << "512,30" << "512,30" << 6;
    QTest::newRow("7 CR -> len 2") << "7\r" << "7\r" << 2;
    QTest::newRow("1,2 -> len 3") << "1,2" << "1,2" << 3;
    QTest::newRow("1,2 LF CR -> 1,2 len 3") << "1,2\n\r" << "1,2" << 3;
    QTest::newRow("0,1023 CR LF 512,300,1023 CR LF -> len 22")
        << "0,1023\r\n512,300,1023\r\n" << "0,1023\r\n512,300,1023\r\n" << 22;
    QTest::newRow("1,2 LF 3,4 LF -> len 8") << "1,2\n3,4\n" << "1,2\n3,4\n" << 8;
    QTest::newRow("1 CR LF ,2,3 -> len 7") << "1\r\n,2,3" << "1\r\n,2,3" << 7;
    QTest::newRow("30000 digits -> len 30000") << QString(30000, u'9') << QString(30000, u'9') << 30000;
}

void TestRecordParser::textsWithoutAWholeRecordAreRejected()
{
    QFETCH(QString, text);
    QFETCH(QString, rxLine);
    QFETCH(int, rxLen);

    ReceptionState state = stateHolding(text);
    QCOMPARE(parseRecord(state), RecordOutcome::Rejected);
    QCOMPARE(state.Sens_A, kOld);
    QCOMPARE(state.Sens_B, kOld);
    QCOMPARE(state.Sens_C, kOld);
    QCOMPARE(state.Rx_Len, rxLen);
    QCOMPARE(state.Rx_Line, rxLine);
}

// An old value is kOld; the text stays in Rx_Line less a final LF CR.
void TestRecordParser::overflowLeavesTheFieldsBeforeItUpdated_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<QString>("rxLine");

    const int old = kOld;
    QTest::newRow("40000,1,2 -> nothing new") << "40000,1,2" << old << old << "40000,1,2";
    QTest::newRow("1,1E5,2 -> A new") << "1,1E5,2" << 1 << old << "1,1E5,2";
    QTest::newRow("1,2,32767.5 -> A and B new") << "1,2,32767.5" << 1 << 2 << "1,2,32767.5";
    QTest::newRow("1,2,-32769 LF CR -> A and B new") << "1,2,-32769\n\r" << 1 << 2 << "1,2,-32769";
    QTest::newRow("1,2,1E999 CR LF -> A and B new") << "1,2,1E999\r\n" << 1 << 2 << "1,2,1E999\r\n";
}

void TestRecordParser::overflowLeavesTheFieldsBeforeItUpdated()
{
    QFETCH(QString, text);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(QString, rxLine);

    ReceptionState state = stateHolding(text);
    QCOMPARE(errorNumberOfParse(state), int(rt::Overflow));
    QCOMPARE(state.Sens_A, a);
    QCOMPARE(state.Sens_B, b);
    QCOMPARE(state.Sens_C, kOld);
    QCOMPARE(state.Rx_Line, rxLine);
    QCOMPARE(state.Rx_Len, rxLine.size());
}

void TestRecordParser::textsOver32767CharactersOverflowBeforeAnyField_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<bool>("overflows");

    QTest::newRow("32767 characters -> parsed") << qsizetype(32767) << false;
    QTest::newRow("32768 characters -> overflow") << qsizetype(32768) << true;
    QTest::newRow("100000 characters -> overflow") << qsizetype(100000) << true;
}

void TestRecordParser::textsOver32767CharactersOverflowBeforeAnyField()
{
    QFETCH(qsizetype, length);
    QFETCH(bool, overflows);

    // A whole record padded with blanks, which field C skips.
    const QString text = QStringLiteral("4,5,6").leftJustified(length, u' ');
    ReceptionState state = stateHolding(text);
    if (!overflows) {
        QCOMPARE(parseRecord(state), RecordOutcome::Parsed);
        QCOMPARE(state.Sens_C, 6);
        QCOMPARE(state.Rx_Len, 32767);
        return;
    }
    QCOMPARE(errorNumberOfParse(state), int(rt::Overflow));
    QCOMPARE(state.Rx_Len, kOldLen);
    QCOMPARE(state.Sens_A, kOld);
    QCOMPARE(state.Sens_B, kOld);
    QCOMPARE(state.Sens_C, kOld);
    QCOMPARE(state.Rx_Line, text);
}

QTEST_GUILESS_MAIN(TestRecordParser)
#include "tst_record_parser.moc"
