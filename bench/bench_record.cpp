// Prints the time one parse of a tick's text takes. Meaningful figures need
// an optimised build without sanitizers:
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSENSOR_MONITOR_TESTS=ON
//   cmake --build build/bench --target bench_record && build/bench/bench/bench_record

#include "reception/record_parser.h"
#include "runtime/leading_number.h"

#include <QString>

#include <chrono>
#include <cstdio>

namespace {

// Runs work until a quarter of a second has passed and returns ns per call.
template <typename Work>
double nanosecondsPerCall(Work work)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long long calls = 0;
    auto elapsed = Clock::duration::zero();
    do {
        for (int i = 0; i < 1000; ++i)
            work();
        calls += 1000;
        elapsed = Clock::now() - start;
    } while (elapsed < std::chrono::milliseconds(250));
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) / double(calls);
}

double parseTime(const QString &text)
{
    ReceptionState state;
    long long sink = 0;
    const double ns = nanosecondsPerCall([&] {
        state.Rx_Line = text; // shares the text, no copy
        sink += int(parseRecord(state)) + state.Sens_C;
    });
    return sink == 42 ? -ns : ns; // the sink keeps the work from being optimised away
}

double conversionTime(const QString &text)
{
    double sink = 0;
    const double ns = nanosecondsPerCall([&] { sink += rt::leadingNumber(text); });
    return sink == 42 ? -ns : ns;
}

} // namespace

int main()
{
    // Digits and no comma: scanned to its end, then rejected.
    const QString hostile(1024, u'9');
    // A record whose field C is a 1020-character number: converted in full.
    const QString longField = QStringLiteral("1,2,0.").leftJustified(1023, u'0') + u'7';
    const QString longDigits(1000, u'7');

    std::printf("parseRecord \"512,300,1023\\r\\n\":          %8.1f ns\n",
                parseTime(QStringLiteral("512,300,1023\r\n")));
    std::printf("parseRecord 1024 characters, no comma:   %8.1f ns\n", parseTime(hostile));
    std::printf("parseRecord 1024 characters, long field: %8.1f ns\n", parseTime(longField));
    std::printf("leadingNumber 1000 digits:               %8.1f ns\n", conversionTime(longDigits));
    std::printf("leadingNumber \"1023\":                    %8.1f ns\n", conversionTime(QStringLiteral("1023")));
    return 0;
}
