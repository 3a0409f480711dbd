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

// The number of the error a call raised, or 0 when it raised none.
template <typename Call>
int errorNumberOf(Call call)
{
    try {
        call();
    } catch (const rt::NumberedError &error) {
        return error.number();
    }
    return 0;
}

QString repeated(QChar c, qsizetype count)
{
    return QString(count, c);
}

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT

private slots:
    void roundsToNearestWithHalvesToEven_data();
    void roundsToNearestWithHalvesToEven();
    void checkedArithmeticOverflowsOutsideInt16_data();
    void checkedArithmeticOverflowsOutsideInt16();
    void numbersBecomePlainOrSignSpacedText_data();
    void numbersBecomePlainOrSignSpacedText();
    void timeOfDayIsTwentyFourHourClock_data();
    void timeOfDayIsTwentyFourHourClock();
    void leadingNumberReadsTheHeadOfTheText_data();
    void leadingNumberReadsTheHeadOfTheText();
    void wideRadixValuesOverflow_data();
    void wideRadixValuesOverflow();
    void leadingInt16RoundsOrOverflows_data();
    void leadingInt16RoundsOrOverflows();
};

// expected is ignored when overflows is set.
void TestRuntime::roundsToNearestWithHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<int>("expected");

    QTest::newRow("2.5 -> 2") << 2.5 << false << 2;
    QTest::newRow("3.5 -> 4") << 3.5 << false << 4;
    QTest::newRow("-2.5 -> -2") << -2.5 << false << -2;
    QTest::newRow("0.5 -> 0") << 0.5 << false << 0;
    QTest::newRow("2.5000001 -> 3") << 2.5000001 << false << 3;
    QTest::newRow("-0.7 -> -1") << -0.7 << false << -1;
    QTest::newRow("32767.4 -> 32767") << 32767.4 << false << 32767;
    QTest::newRow("32766.5 -> 32766") << 32766.5 << false << 32766;
    QTest::newRow("32767.5 -> overflow") << 32767.5 << true << 0;
    QTest::newRow("-32768.5 -> -32768 (tie to even)") << -32768.5 << false << -32768;
    QTest::newRow("-32768.6 -> overflow") << -32768.6 << true << 0;
    QTest::newRow("-32769 -> overflow") << -32769.0 << true << 0;
    QTest::newRow("1e300 -> overflow") << 1e300 << true << 0;
    QTest::newRow("NaN -> overflow") << kNaN << true << 0;
    QTest::newRow("inf -> overflow") << kInf << true << 0;
    QTest::newRow("-inf -> overflow") << -kInf << true << 0;
}

void TestRuntime::roundsToNearestWithHalvesToEven()
{
    QFETCH(double, value);
    QFETCH(bool, overflows);
    QFETCH(int, expected);

    if (overflows) {
        QCOMPARE(errorNumberOf([&] { rt::roundToInt16(value); }), int(rt::Overflow));
        return;
    }
    QCOMPARE(int(rt::roundToInt16(value)), expected);
}

void TestRuntime::checkedArithmeticOverflowsOutsideInt16_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<char>("op");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<int>("expected");

    QTest::newRow("32766 + 1 -> 32767") << 32766 << '+' << 1 << false << 32767;
    QTest::newRow("32767 + 1 -> overflow") << 32767 << '+' << 1 << true << 0;
    QTest::newRow("-32768 + -1 -> overflow") << -32768 << '+' << -1 << true << 0;
    QTest::newRow("-32768 + 32767 -> -1") << -32768 << '+' << 32767 << false << -1;
    QTest::newRow("-1 - 32767 -> -32768") << -1 << '-' << 32767 << false << -32768;
    QTest::newRow("-32768 - 1 -> overflow") << -32768 << '-' << 1 << true << 0;
    QTest::newRow("0 - -32768 -> overflow") << 0 << '-' << -32768 << true << 0;
    QTest::newRow("20 - 1 -> 19") << 20 << '-' << 1 << false << 19;
}

void TestRuntime::checkedArithmeticOverflowsOutsideInt16()
{
    QFETCH(int, a);
    QFETCH(char, op);
    QFETCH(int, b);
    QFETCH(bool, overflows);
    QFETCH(int, expected);

    const auto x = static_cast<rt::Int16>(a);
    const auto y = static_cast<rt::Int16>(b);
    const auto compute = [&] { return op == '+' ? rt::add(x, y) : rt::subtract(x, y); };
    if (overflows) {
        QCOMPARE(errorNumberOf(compute), int(rt::Overflow));
        return;
    }
    QCOMPARE(int(compute()), expected);
}

void TestRuntime::numbersBecomePlainOrSignSpacedText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("signSpaced");

    QTest::newRow("0 -> \"0\", \" 0\"") << 0 << "0" << " 0";
    QTest::newRow("5 -> \"5\", \" 5\"") << 5 << "5" << " 5";
    QTest::newRow("-7 -> \"-7\", \"-7\"") << -7 << "-7" << "-7";
    QTest::newRow("32767 -> \"32767\", \" 32767\"") << 32767 << "32767" << " 32767";
    QTest::newRow("-32768 -> \"-32768\", \"-32768\"") << -32768 << "-32768" << "-32768";
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

    QTest::newRow("00:00:00 -> \"00:00:00\"") << QTime(0, 0, 0) << "00:00:00";
    QTest::newRow("09:05:03 -> \"09:05:03\"") << QTime(9, 5, 3) << "09:05:03";
    QTest::newRow("13:00:00 -> \"13:00:00\"") << QTime(13, 0, 0) << "13:00:00";
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
    QTest::addColumn<double>("expected");

    // Blanks are skipped anywhere; CR is not a blank.
    QTest::newRow("\"  42\" -> 42") << "  42" << 42.0;
    QTest::newRow("\"2 5\" -> 25") << "2 5" << 25.0;
    QTest::newRow("\"\\t1\\n2 3\" -> 123") << "\t1\n2 3" << 123.0;
    QTest::newRow("\"- 1 . 5\" -> -1.5") << "- 1 . 5" << -1.5;
    QTest::newRow("\"1 e 2\" -> 100") << "1 e 2" << 100.0;
    QTest::newRow("\"\\r5\" -> 0") << "\r5" << 0.0;
    // Sign.
    QTest::newRow("\"+7\" -> 7") << "+7" << 7.0;
    QTest::newRow("\"-7\" -> -7") << "-7" << -7.0;
    QTest::newRow("\"--7\" -> 0") << "--7" << 0.0;
    QTest::newRow("\"-\" -> 0") << "-" << 0.0;
    QTest::newRow("\"+.\" -> 0") << "+." << 0.0;
    // One period, whatever the locale; a comma is no decimal point.
    QTest::newRow("\"3.25\" -> 3.25") << "3.25" << 3.25;
    QTest::newRow("\"0.1\" -> 0.1") << "0.1" << 0.1;
    QTest::newRow("\".5\" -> 0.5") << ".5" << 0.5;
    QTest::newRow("\"1.\" -> 1") << "1." << 1.0;
    QTest::newRow("\".\" -> 0") << "." << 0.0;
    QTest::newRow("\"1.2.3\" -> 1.2") << "1.2.3" << 1.2;
    QTest::newRow("\"..5\" -> 0") << "..5" << 0.0;
    QTest::newRow("\"1,5\" -> 1") << "1,5" << 1.0;
    // Exponent: E or e only; an exponent without digits is not read.
    QTest::newRow("\"1E3\" -> 1000") << "1E3" << 1000.0;
    QTest::newRow("\"2.5e-1\" -> 0.25") << "2.5e-1" << 0.25;
    QTest::newRow("\"1e+2\" -> 100") << "1e+2" << 100.0;
    QTest::newRow("\"1e\" -> 1") << "1e" << 1.0;
    QTest::newRow("\"1e+\" -> 1") << "1e+" << 1.0;
    QTest::newRow("\"1E2.5\" -> 100") << "1E2.5" << 100.0;
    QTest::newRow("\"1D2\" -> 1") << "1D2" << 1.0;
    QTest::newRow("\"e5\" -> 0") << "e5" << 0.0;
    QTest::newRow("\".e5\" -> 0") << ".e5" << 0.0;
    // Hexadecimal and octal, 16-bit then 32-bit two's complement.
    QTest::newRow("\"&H1F\" -> 31") << "&H1F" << 31.0;
    QTest::newRow("\"&h1f\" -> 31") << "&h1f" << 31.0;
    QTest::newRow("\"& H 1 F\" -> 31") << "& H 1 F" << 31.0;
    QTest::newRow("\"&H7FFF\" -> 32767") << "&H7FFF" << 32767.0;
    QTest::newRow("\"&H8000\" -> -32768") << "&H8000" << -32768.0;
    QTest::newRow("\"&HFFFF\" -> -1") << "&HFFFF" << -1.0;
    QTest::newRow("\"&H10000\" -> 65536") << "&H10000" << 65536.0;
    QTest::newRow("\"&H7FFFFFFF\" -> 2147483647") << "&H7FFFFFFF" << 2147483647.0;
    QTest::newRow("\"&H80000000\" -> -2147483648") << "&H80000000" << -2147483648.0;
    QTest::newRow("\"&HFFFFFFFF\" -> -1") << "&HFFFFFFFF" << -1.0;
    QTest::newRow("\"&H\" 1000 zeros \"1\" -> 1") << "&H" + repeated(u'0', 1000) + "1" << 1.0;
    QTest::newRow("\"&H1G\" -> 1") << "&H1G" << 1.0;
    QTest::newRow("\"&O17\" -> 15") << "&O17" << 15.0;
    QTest::newRow("\"&o777\" -> 511") << "&o777" << 511.0;
    QTest::newRow("\"&O177777\" -> -1") << "&O177777" << -1.0;
    QTest::newRow("\"&O200000\" -> 65536") << "&O200000" << 65536.0;
    QTest::newRow("\"&O37777777777\" -> -1") << "&O37777777777" << -1.0;
    QTest::newRow("\"&O8\" -> 0") << "&O8" << 0.0;
    QTest::newRow("\"-&H10\" -> 0") << "-&H10" << 0.0;
    QTest::newRow("\"&\" -> 0") << "&" << 0.0;
    QTest::newRow("\"&H\" -> 0") << "&H" << 0.0;
    QTest::newRow("\"&Hxyz\" -> 0") << "&Hxyz" << 0.0;
    QTest::newRow("\"&17\" -> 0") << "&17" << 0.0;
    // What ends the number.
    QTest::newRow("\"\" -> 0") << "" << 0.0;
    QTest::newRow("\"abc\" -> 0") << "abc" << 0.0;
    QTest::newRow("\"300mV\" -> 300") << "300mV" << 300.0;
    QTest::newRow("\"7\\r\\n\" -> 7") << "7\r\n" << 7.0;
    QTest::newRow("\"1 NUL 2\" -> 1") << QString::fromUtf16(u"1") + QChar(0) + "2" << 1.0;
    QTest::newRow("\"NUL 5\" -> 0") << QChar(0) + QString::fromUtf16(u"5") << 0.0;
    QTest::newRow("\"1\\u00B22\" -> 1") << QString::fromUtf16(u"1\u00B22") << 1.0;
    QTest::newRow("\"\\u00FF7\" -> 0") << QString::fromUtf16(u"\u00FF7") << 0.0;
    QTest::newRow("Arabic-Indic \"\\u0661\\u0662\" -> 0") << QString::fromUtf16(u"\u0661\u0662") << 0.0;
    QTest::newRow("fullwidth \"\\uFF11\" -> 0") << QString::fromUtf16(u"\uFF11") << 0.0;
    // Long and extreme texts.
    QTest::newRow("\"1\" 400 zeros -> inf") << "1" + repeated(u'0', 400) << kInf;
    QTest::newRow("\"-1\" 400 zeros -> -inf") << "-1" + repeated(u'0', 400) << -kInf;
    QTest::newRow("\"0.\" 400 zeros \"1\" -> 0") << "0." + repeated(u'0', 400) + "1" << 0.0;
    QTest::newRow("\"1\" 1000 zeros \"e-1000\" -> 1") << "1" + repeated(u'0', 1000) + "e-1000" << 1.0;
    QTest::newRow("\"0.\" 999 zeros \"1e1000\" -> 1") << "0." + repeated(u'0', 999) + "1e1000" << 1.0;
    QTest::newRow("5000 nines \"e-4999\" -> 10")
        << repeated(u'9', 5000) + "e-4999" << 10.0;
    QTest::newRow("10000 zeros then \"7\" -> 7") << repeated(u'0', 10000) + "7" << 7.0;
    QTest::newRow("\"9007199254740993\" -> 2^53 (tie to even)") << "9007199254740993" << 9007199254740992.0;
    QTest::newRow("\"9007199254740993.\" 900 zeros \"1\" -> 2^53+2")
        << "9007199254740993." + repeated(u'0', 900) + "1" << 9007199254740994.0;
    QTest::newRow("\"1.7976931348623157e308\" -> max") << "1.7976931348623157e308"
                                                        << std::numeric_limits<double>::max();
    QTest::newRow("\"4.9e-324\" -> smallest") << "4.9e-324" << std::numeric_limits<double>::denorm_min();
    QTest::newRow("\"1E999\" -> inf") << "1E999" << kInf;
    QTest::newRow("\"-1E999\" -> -inf") << "-1E999" << -kInf;
    QTest::newRow("\"1E-999\" -> 0") << "1E-999" << 0.0;
    QTest::newRow("\"1E\" 30 nines -> inf") << "1E" + repeated(u'9', 30) << kInf;
    QTest::newRow("\"0E\" 30 nines -> 0") << "0E" + repeated(u'9', 30) << 0.0;
}

void TestRuntime::leadingNumberReadsTheHeadOfTheText()
{
    QFETCH(QString, text);
    QFETCH(double, expected);

    const double actual = rt::leadingNumber(text);
    // Exact: the conversion is correctly rounded, so no tolerance.
    QVERIFY2(actual == expected, qPrintable(QString::number(actual, 'g', 17)));
}

void TestRuntime::wideRadixValuesOverflow_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("\"&H100000000\" -> overflow") << "&H100000000";
    QTest::newRow("\"&O40000000000\" -> overflow") << "&O40000000000";
    QTest::newRow("\"&H\" 1000 Fs -> overflow") << "&H" + repeated(u'F', 1000);
}

void TestRuntime::wideRadixValuesOverflow()
{
    QFETCH(QString, text);

    QCOMPARE(errorNumberOf([&] { rt::leadingNumber(text); }), int(rt::Overflow));
}

// expected is ignored when overflows is set.
void TestRuntime::leadingInt16RoundsOrOverflows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<int>("expected");

    QTest::newRow("\"2.5\" -> 2") << "2.5" << false << 2;
    QTest::newRow("\"3.5\" -> 4") << "3.5" << false << 4;
    QTest::newRow("\"-2.5\" -> -2") << "-2.5" << false << -2;
    QTest::newRow("\"32767.4\" -> 32767") << "32767.4" << false << 32767;
    QTest::newRow("\"-32768.5\" -> -32768") << "-32768.5" << false << -32768;
    QTest::newRow("\"&HFFFF\" -> -1") << "&HFFFF" << false << -1;
    QTest::newRow("\"1E-999\" -> 0") << "1E-999" << false << 0;
    QTest::newRow("\"32767.5\" -> overflow") << "32767.5" << true << 0;
    QTest::newRow("\"40000\" -> overflow") << "40000" << true << 0;
    QTest::newRow("\"1E5\" -> overflow") << "1E5" << true << 0;
    QTest::newRow("\"-32769\" -> overflow") << "-32769" << true << 0;
    QTest::newRow("\"1E999\" -> overflow") << "1E999" << true << 0;
    QTest::newRow("\"&H10000\" -> overflow") << "&H10000" << true << 0;
    QTest::newRow("\"1\" 400 zeros -> overflow") << "1" + repeated(u'0', 400) << true << 0;
}

void TestRuntime::leadingInt16RoundsOrOverflows()
{
    QFETCH(QString, text);
    QFETCH(bool, overflows);
    QFETCH(int, expected);

    if (overflows) {
        QCOMPARE(errorNumberOf([&] { rt::leadingInt16(text); }), int(rt::Overflow));
        return;
    }
    QCOMPARE(int(rt::leadingInt16(text)), expected);
}

QTEST_GUILESS_MAIN(TestRuntime)
#include "tst_runtime.moc"
