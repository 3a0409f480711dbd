#include "reception/record_parser.h"
#include "runtime/int16.h"
#include "runtime/leading_number.h"
#include "runtime/numbered_error.h"

#include <QTest>

#include <functional>
#include <limits>

// What one row's call gave, as text.
using Outcome = std::function<QString()>;
Q_DECLARE_METATYPE(Outcome)

namespace {

// A number rule's value in the shortest text that reads back as the same
// double, so comparing texts is exact, or "error N" when it raised N.
Outcome number(const std::function<double()> &call)
{
    return [call] {
        try {
            return QString::number(call(), 'g', QLocale::FloatingPointShortest);
        } catch (const rt::NumberedError &error) {
            return QStringLiteral("error %1").arg(error.number());
        }
    };
}

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

Outcome parse(const QString &text)
{
    return [text] { return afterParsing(text); };
}

} // namespace

class TestRecordParser : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data()
    {
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("expected");
        // Halves go to the even neighbour (2.5 to 2, 3.5 to 4: the record parser's
        // table shows it); at the ends of the range that decides an overflow.
        const auto round = [](double value) { return number([value] { return rt::roundToInt16(value); }); };
        QTest::newRow("round 32767.4 -> 32767") << round(32767.4) << "32767";
        QTest::newRow("round 32767.5 -> error 6") << round(32767.5) << "error 6";
        QTest::newRow("round -32768.5 -> -32768 (tie to even)") << round(-32768.5) << "-32768";
        QTest::newRow("round -32768.6 -> error 6") << round(-32768.6) << "error 6";
        QTest::newRow("round NaN -> error 6") << round(std::numeric_limits<double>::quiet_NaN()) << "error 6";
        QTest::newRow("32767 + 1 -> error 6") << number([] { return rt::add(32767, 1); }) << "error 6";
        QTest::newRow("-32768 - 1 -> error 6") << number([] { return rt::subtract(-32768, 1); }) << "error 6";

        // The leading number of a text, as a field of a record is read.
        const auto read = [](const QString &text) { return number([text] { return rt::leadingNumber(text); }); };
        // Spaces, tabs and LF are skipped anywhere, also around sign and period;
        // CR is no blank.
        QTest::newRow("\"\\t1\\n2 3\\r4\" -> 123") << read("\t1\n2 3\r4") << "123";
        QTest::newRow("\"- . 5\" -> -0.5") << read("- . 5") << "-0.5";
        QTest::newRow("\"--7\" -> 0") << read("--7") << "0";
        QTest::newRow("\"1.2.3\" -> 1.2") << read("1.2.3") << "1.2";
        // An exponent without digits is not part of the number.
        QTest::newRow("\"2.5e-1\" -> 0.25") << read("2.5e-1") << "0.25";
        QTest::newRow("\"1e+\" -> 1") << read("1e+") << "1";
        // &H and &O take no sign; 16 bits, then 32 bits, wrap to negative.
        QTest::newRow("\"& h 1 f\" -> 31") << read("& h 1 f") << "31";
        QTest::newRow("\"&O178\" -> 15") << read("&O178") << "15";
        QTest::newRow("\"-&H10\" -> 0") << read("-&H10") << "0";
        QTest::newRow("\"&H8000\" -> -32768") << read("&H8000") << "-32768";
        QTest::newRow("\"&H10000\" -> 65536") << read("&H10000") << "65536";
        QTest::newRow("\"&HFFFFFFFF\" -> -1") << read("&HFFFFFFFF") << "-1";
        QTest::newRow("\"&H100000000\" -> error 6") << read("&H100000000") << "error 6";
        QTest::newRow("\"&H\" 1000 zeros \"1\" -> 1") << read("&H" + QString(1000, u'0') + "1") << "1";
        // A comma is no decimal point; digits of other scripts end the number.
        QTest::newRow("\"1,5\" -> 1") << read("1,5") << "1";
        QTest::newRow("\"1.5\" Arabic-Indic 2 -> 1.5") << read(QString::fromUtf16(u"1.5\u0662")) << "1.5";
        // Digits beyond those kept move the exponent, and a non-zero one among
        // them still decides a tie.
        QTest::newRow("5000 nines \"e-4999\" -> 10") << read(QString(5000, u'9') + "e-4999") << "10";
        QTest::newRow("\"0.\" 999 zeros \"1e1000\" -> 1") << read("0." + QString(999, u'0') + "1e1000") << "1";
        QTest::newRow("\"9007199254740993.\" 900 zeros \"1\" -> 2^53+2")
            << read("9007199254740993." + QString(900, u'0') + "1") << "9007199254740994";
        QTest::newRow("\"2E308\" -> inf") << read("2E308") << "inf";
        QTest::newRow("\"1E-330\" -> 0") << read("1E-330") << "0";
        QTest::newRow("\"1E\" 30 nines -> inf") << read("1E" + QString(30, u'9')) << "inf";

        // A record: a text failing the digit test keeps Rx_Len; any other has it
        // set, less a final LF CR, even when it then holds no whole record or overflows.
        // A CR LF ending stays; only one final LF CR is taken off.
        QTest::newRow("512,300,1023 CR LF -> 512,300,1023 len 14") << parse("512,300,1023\r\n") << "parsed 512,300,1023 len 14 line ";
        QTest::newRow("12,34,56 LF CR LF CR -> len 10") << parse("12,34,56\n\r\n\r") << "parsed 12,34,56 len 10 line ";
        QTest::newRow("2.5,-3.5,-2.5 -> 2,-4,-2") << parse("2.5,-3.5,-2.5") << "parsed 2,-4,-2 len 13 line ";
        QTest::newRow("1, 2 5, 3 -> 1,25,3") << parse("1, 2 5, 3") << "parsed 1,25,3 len 9 line ";
        QTest::newRow("7,,9 -> 7,0,9") << parse("7,,9") << "parsed 7,0,9 len 4 line ";
        QTest::newRow("7,8, -> 7,8,0") << parse("7,8,") << "parsed 7,8,0 len 4 line ";
        QTest::newRow("100V,200,300mV -> 100,200,300") << parse("100V,200,300mV") << "parsed 100,200,300 len 14 line ";
        QTest::newRow("1,2,3,4 -> 1,2,3") << parse("1,2,3,4") << "parsed 1,2,3 len 7 line ";
        // A record ends at its line end: the next one cannot run into field C.
        QTest::newRow("1,2,3 LF 4,5,6 LF -> 1,2,3") << parse("1,2,3\n4,5,6\n") << "parsed 1,2,3 len 12 line ";

        const QString untouched = QStringLiteral("rejected old,old,old len old line same");
        QTest::newRow("-5,1,2 -> rejected") << parse("-5,1,2") << untouched;
        QTest::newRow("' 1,2,3' -> rejected") << parse(" 1,2,3") << untouched;
        QTest::newRow("/1,2,3 (code 47) -> rejected") << parse("/1,2,3") << untouched;
        QTest::newRow(":1,2,3 (code 58) -> rejected") << parse(":1,2,3") << untouched;
        QTest::newRow("Arabic-Indic 1,2,3 -> rejected") << parse(QString::fromUtf16(u"\u0661,2,3")) << untouched;
        QTest::newRow("empty -> rejected") << parse("") << "rejected old,old,old len old line ";
        // Fewer than two commas in the first record: no whole record to read.
        QTest::newRow("7 CR -> rejected, len 2") << parse("7\r") << "rejected old,old,old len 2 line same";
        QTest::newRow("1,2 LF CR -> rejected, 1,2 len 3") << parse("1,2\n\r") << "rejected old,old,old len 3 line 1,2";
        QTest::newRow("0,1023 CR LF 512,300,1023 CR LF -> rejected, len 22")
            << parse("0,1023\r\n512,300,1023\r\n") << "rejected old,old,old len 22 line same";

        // Each value is stored as its field is read, so an overflow keeps those before it.
        QTest::newRow("1,1E5,2 -> error 6, A new") << parse("1,1E5,2") << "error 6 1,old,old len 7 line same";
        QTest::newRow("1,2,32767.5 LF CR -> error 6, A and B new, LF CR gone")
            << parse("1,2,32767.5\n\r") << "error 6 1,2,old len 11 line 1,2,32767.5";

        // Over 32767 characters the length itself overflows, before any field.
        const QString longest = QStringLiteral("4,5,6").leftJustified(32767, u' ');
        QTest::newRow("4,5,6 blanks to 32767 -> 4,5,6") << parse(longest) << "parsed 4,5,6 len 32767 line ";
        QTest::newRow("4,5,6 blanks to 32768 -> error 6") << parse(longest + u' ') << "error 6 old,old,old len old line same";
    }

    void outcomes()
    {
        QFETCH(Outcome, outcome);
        QFETCH(QString, expected);
        QCOMPARE(outcome(), expected);
    }
};

QTEST_GUILESS_MAIN(TestRecordParser)
#include "tst_record_parser.moc"
