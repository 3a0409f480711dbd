#include "sim/record_generator.h"

#include <cmath>
#include <numbers>

namespace {

constexpr int kSinePeriod = 40;
constexpr int kTrianglePeriod = 240;

int slowSine(long long n)
{
    const double phase = 2 * std::numbers::pi * double(n % kSinePeriod) / kSinePeriod;
    return int(std::lround(512 + 400 * std::sin(phase)));
}

int slowerTriangle(long long n)
{
    const int p = int(n % kTrianglePeriod);
    return 100 + 5 * (p < kTrianglePeriod / 2 ? p : kTrianglePeriod - p);
}

} // namespace

std::optional<LineEnd> lineEndNamed(std::string_view name)
{
    if (name == "crlf")
        return LineEnd::CrLf;
    if (name == "lf")
        return LineEnd::Lf;
    if (name == "cr")
        return LineEnd::Cr;
    if (name == "lfcr")
        return LineEnd::LfCr;
    return std::nullopt;
}

std::string recordText(const SensorReading &reading, LineEnd end)
{
    std::string text = std::to_string(reading.a) + ',' + std::to_string(reading.b) + ',' + std::to_string(reading.c);
    switch (end) {
    case LineEnd::CrLf:
        return text + "\r\n";
    case LineEnd::Lf:
        return text + "\n";
    case LineEnd::Cr:
        return text + "\r";
    case LineEnd::LfCr:
        return text + "\n\r";
    }
    return text;
}

RecordGenerator::RecordGenerator(std::uint32_t seed)
    : m_noise(seed)
{
}

SensorReading RecordGenerator::next()
{
    const long long n = m_index++;
    const int noise = int(m_noise() % 81) - 40;
    return {slowSine(n), slowerTriangle(n), 800 + noise};
}
