#include "runtime/int16.h"
#include "runtime/leading_number.h"
#include "runtime/number_text.h"
#include "runtime/numbered_error.h"
#include "runtime/time_of_day.h"

#include <QTest>

#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What a call gave: its value in the shortest text that reads back as the
// same double, so comparing texts is exact, or "error N" when it raised N.
template <typename Call>
QString outcomeOf(Call call)
{
    try {
        return QString::number(call(), 'g', QLocale::FloatingPointShortest);
    } catch (const rt::NumberedError &error) {
        return QStringLiteral("error %1").arg(error.number());
    }
}

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT

private slots:
    void roundsHalvesToEvenAndOverflowsOutsideInt16_data();
    void roundsHalvesToEvenAndOverflowsOutsideInt16();
    void checkedArithmeticOverflowsOutsideInt16_data();
    void checkedArithmeticOverflowsOutsideInt16();
    void numbersBecomePlainOrSignSpacedText_data();
    void numbersBecomePlainOrSignSpacedText();
    void timeOfDayIsTwentyFourHourClock_data();
    void timeOfDayIsTwentyFourHourClock();
    void leadingNumberReadsTheHeadOfTheText_data();
    void leadingNumberReadsTheHeadOfTheText();
};

void TestRuntime::roundsHalvesToEvenAndOverflowsOutsideInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("2.5 -> 2") << 2.5 << "2";
    QTest::newRow("3.5 -> 4") << 3.5 << "4";
    QTest::newRow("-2.5 -> -2") << -2.5 << "-2";
    QTest::newRow("32767.4 -> 32767") << 32767.4 << "32767";
    QTest::newRow("32767.5 -> error 6") << 32767.5 << "error 6";
    QTest::newRow("-32768.5 -> -32768 (tie to even)") << -32768.5 << "-32768";
    QTest::newRow("-32768.6 -> error 6") << -32768.6 << "error 6";
    QTest::newRow("NaN -> error 6") << kNaN << "error 6";
    QTest::newRow("inf -> error 6") << kInf << "error 6";
}

void TestRuntime::roundsHalvesToEvenAndOverflowsOutsideInt16()
{
    QFETCH(double, value);
    QFETCH(QString, expected);

    QCOMPARE(outcomeOf([&] { return rt::roundToInt16(value); }), expected);
}

void TestRuntime::checkedArithmeticOverflowsOutsideInt16_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<char>("op");
    QTest::addColumn<int>("b");
    QTest::addColumn<QString>("expected");

    QTest::newRow("32766 + 1 -> 32767") << 32766 << '+' << 1 << "32767";
    QTest::newRow("32767 + 1 -> error 6") << 32767 << '+' << 1 << "error 6";
    QTest::newRow("-1 - 32767 -> -32768") << -1 << '-' << 32767 << "-32768";
    QTest::newRow("-32768 - 1 -> error 6") << -32768 << '-' << 1 << "error 6";
    QTest::newRow("0 - -32768 -> error 6") << 0 << '-' << -32768 << "error 6";
}

void TestRuntime::checkedArithmeticOverflowsOutsideInt16()
{
    QFETCH(int, a);
    QFETCH(char, op);
    QFETCH(int, b);
    QFETCH(QString, expected);

    const auto x = static_cast<rt::Int16>(a);
    const auto y = static_cast<rt::Int16>(b);
    QCOMPARE(outcomeOf([&] { return op == '+' ? rt::add(x, y) : rt::subtract(x, y); }), expected);
}

void TestRuntime::numbersBecomePlainOrSignSpacedText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("signSpaced");

    QTest::newRow("0 -> \"0\", \" 0\"") << 0 << "0" << " 0";
    QTest::newRow("5 -> \"5\", \" 5\"") << 5 << "5" << " 5";
    QTest::newRow("-7 -> \"-7\", \"-7\"") << -7 << "-7" << "-7";
}

void TestRuntime::numbersBecomePlainOrSignSpacedText()
{
    QFETCH(int, value);
    QFETCH(QString, plain);
    QFETCH(QString, signSpaced);

    QCOMPARE(rt::plainText(value), plain);
    QCOMPARE(rt::signSpacedText(value), signSpaced);
}

void TestRuntime::timeOfDayIsTwentyFourHourClock_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("09:05:03 -> \"09:05:03\"") << QTime(9, 5, 3) << "09:05:03";
    QTest::newRow("23:59:59.999 -> \"23:59:59\"") << QTime(23, 59, 59, 999) << "23:59:59";
}

void TestRuntime::timeOfDayIsTwentyFourHourClock()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);

    QCOMPARE(rt::timeOfDayText(time), expected);
}

void TestRuntime::leadingNumberReadsTheHeadOfTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // Blanks are skipped anywhere, also around sign and period; CR is no blank.
    QTest::newRow("\"\\t1\\n2 3\" -> 123") << "\t1\n2 3" << "123";
    QTest::newRow("\"\\r5\" -> 0") << "\r5" << "0";
    QTest::newRow("\"- 1 . 5\" -> -1.5") << "- 1 . 5" << "-1.5";
    QTest::newRow("\"--7\" -> 0") << "--7" << "0";
    QTest::newRow("\".5\" -> 0.5") << ".5" << "0.5";
    QTest::newRow("\"1.2.3\" -> 1.2") << "1.2.3" << "1.2";
    // An exponent without digits is not part of the number.
    QTest::newRow("\"2.5e-1\" -> 0.25") << "2.5e-1" << "0.25";
    QTest::newRow("\"1e+\" -> 1") << "1e+" << "1";
    // &H and &O take no sign; 16 bits, then 32 bits, wrap to negative.
    QTest::newRow("\"& h 1 f\" -> 31") << "& h 1 f" << "31";
    QTest::newRow("\"&O17\" -> 15") << "&O17" << "15";
    QTest::newRow("\"-&H10\" -> 0") << "-&H10" << "0";
    QTest::newRow("\"&H8000\" -> -32768") << "&H8000" << "-32768";
    QTest::newRow("\"&H10000\" -> 65536") << "&H10000" << "65536";
    QTest::newRow("\"&HFFFFFFFF\" -> -1") << "&HFFFFFFFF" << "-1";
    QTest::newRow("\"&H100000000\" -> error 6") << "&H100000000" << "error 6";
    QTest::newRow("\"&O177777\" -> -1") << "&O177777" << "-1";
    QTest::newRow("\"&O40000000000\" -> error 6") << "&O40000000000" << "error 6";
    QTest::newRow("\"&H\" 1000 zeros \"1\" -> 1") << "&H" + QString(1000, u'0') + "1" << "1";
    // What ends the number: a comma is no decimal point, NUL and anything
    // above 127 (digits of other scripts included) end it too.
    QTest::newRow("\"300mV\" -> 300") << "300mV" << "300";
    QTest::newRow("\"1,5\" -> 1") << "1,5" << "1";
    QTest::newRow("\"\" -> 0") << "" << "0";
    QTest::newRow("\"1 NUL 2\" -> 1") << QStringLiteral("1") + QChar(0) + "2" << "1";
    QTest::newRow("\"1\\u00B22\" -> 1") << QString::fromUtf16(u"1\u00B22") << "1";
    QTest::newRow("Arabic-Indic \"\\u0661\\u0662\" -> 0") << QString::fromUtf16(u"\u0661\u0662") << "0";
    // Digits beyond those kept move the exponent, and a non-zero one among
    // them still decides a tie.
    QTest::newRow("5000 nines \"e-4999\" -> 10") << QString(5000, u'9') + "e-4999" << "10";
    QTest::newRow("\"0.\" 999 zeros \"1e1000\" -> 1") << "0." + QString(999, u'0') + "1e1000" << "1";
    QTest::newRow("\"9007199254740993.\" 900 zeros \"1\" -> 2^53+2")
        << "9007199254740993." + QString(900, u'0') + "1" << "9007199254740994";
    QTest::newRow("\"1E999\" -> inf") << "1E999" << "inf";
    QTest::newRow("\"2E308\" -> inf") << "2E308" << "inf";
    QTest::newRow("\"1E-330\" -> 0") << "1E-330" << "0";
    QTest::newRow("\"1E\" 30 nines -> inf") << "1E" + QString(30, u'9') << "inf";
}

void TestRuntime::leadingNumberReadsTheHeadOfTheText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QCOMPARE(outcomeOf([&] { return rt::leadingNumber(text); }), expected);
}

QTEST_GUILESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
