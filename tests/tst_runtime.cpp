#include "runtime/int16.h"
#include "runtime/leading_number.h"
#include "runtime/numbered_error.h"

#include <QTest>

#include <functional>
#include <limits>

using Call = std::function<double()>;
Q_DECLARE_METATYPE(Call)

namespace {

// What a call gave: its value in the shortest text that reads back as the
// same double, so comparing texts is exact, or "error N" when it raised N.
QString outcomeOf(const Call &call)
{
    try {
        return QString::number(call(), 'g', QLocale::FloatingPointShortest);
    } catch (const rt::NumberedError &error) {
        return QStringLiteral("error %1").arg(error.number());
    }
}

} // namespace

// Box texts, port numbers and time labels are checked where the user sees
// them, in tst_window, tst_open_close and tst_tick.
class TestRuntime : public QObject {
    Q_OBJECT

private slots:
    void numberRulesGiveTheValueOrOverflow_data();
    void numberRulesGiveTheValueOrOverflow();
};

void TestRuntime::numberRulesGiveTheValueOrOverflow_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("expected");
    // Halves go to the even neighbour (2.5 to 2, 3.5 to 4: the record parser's
    // table shows it); at the ends of the range that decides an overflow.
    const auto round = [](double value) { return Call([value] { return rt::roundToInt16(value); }); };
    QTest::newRow("round 32767.4 -> 32767") << round(32767.4) << "32767";
    QTest::newRow("round 32767.5 -> error 6") << round(32767.5) << "error 6";
    QTest::newRow("round -32768.5 -> -32768 (tie to even)") << round(-32768.5) << "-32768";
    QTest::newRow("round -32768.6 -> error 6") << round(-32768.6) << "error 6";
    QTest::newRow("round NaN -> error 6") << round(std::numeric_limits<double>::quiet_NaN()) << "error 6";
    QTest::newRow("32767 + 1 -> error 6") << Call([] { return rt::add(32767, 1); }) << "error 6";
    QTest::newRow("-32768 - 1 -> error 6") << Call([] { return rt::subtract(-32768, 1); }) << "error 6";

    // The leading number of a text, as a field of a record is read.
    const auto read = [](const QString &text) { return Call([text] { return rt::leadingNumber(text); }); };
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
}

void TestRuntime::numberRulesGiveTheValueOrOverflow()
{
    QFETCH(Call, call);
    QFETCH(QString, expected);
    QCOMPARE(outcomeOf(call), expected);
}

QTEST_GUILESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
