#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

// One record's three readings, each within 0..1024.
struct SensorReading {
    int a = 0;
    int b = 0;
    int c = 0;
    friend bool operator==(const SensorReading &, const SensorReading &) = default;
};

// How a record ends on the line.
enum class LineEnd { CrLf, Lf, Cr, LfCr };

// "crlf", "lf", "cr", "lfcr" -> the line end; nothing for any other text.
std::optional<LineEnd> lineEndNamed(std::string_view name);

// "512,300,1023" followed by the line end.
std::string recordText(const SensorReading &reading, LineEnd end);

// The readings a three-sensor device sends, one a second, as the n-th record
// (n = 0, 1, 2, ...) of a run:
//   A = 512 + 400 sin(2 pi n / 40)          a slow sine, 40 records a period
//   B = 100 + 5 (p < 120 ? p : 240 - p),    a slower triangle, 240 a period
//       with p = n mod 240
//   C = 800 + (x mod 81) - 40               a noisy level, x the next number
//                                           of std::mt19937 seeded with seed
// A is rounded to the nearest integer. std::mt19937's sequence is fixed by
// the C++ standard, so the same seed gives the same records everywhere.
class RecordGenerator {
public:
    static constexpr std::uint32_t kDefaultSeed = 1024;

    explicit RecordGenerator(std::uint32_t seed = kDefaultSeed);

    SensorReading next();

private:
    std::mt19937 m_noise;
    long long m_index = 0;
};
