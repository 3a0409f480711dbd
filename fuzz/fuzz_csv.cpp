// libFuzzer target for the CSV line of the tick log. Build and run:
//   CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DSENSOR_MONITOR_FUZZ=ON
//   cmake --build build/fuzz --target fuzz_csv
//   build/fuzz/fuzz/fuzz_csv -max_total_time=60 build/fuzz/corpus_csv fuzz/seeds/fuzz_csv
// The input's first byte chooses how its text is read (odd: Latin-1, as the
// port delivers it; even: UTF-8), the rest splits at NUL bytes into fields.
// Whatever the fields, the line must read back, with a strict RFC 4180
// reader, to the same fields; anything else traps.

#include "recording/csv_line.h"

#include <cstddef>
#include <cstdint>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A quoted field from `line` at `i` (just past its opening quote); false
// when the quotes do not close.
bool readQuoted(const QByteArray &line, qsizetype &i, QByteArray &field)
{
    while (i < line.size()) {
        const char c = line[i++];
        if (c != '"') {
            field += c;
        } else if (i < line.size() && line[i] == '"') {
            field += '"';
            ++i;
        } else {
            return true;
        }
    }
    return false;
}

// A plain field: up to a comma or the line end; no quote, CR or LF inside.
bool readPlain(const QByteArray &line, qsizetype &i, QByteArray &field)
{
    while (i < line.size() && line[i] != ',' && line[i] != '\r') {
        if (line[i] == '"' || line[i] == '\n')
            return false;
        field += line[i++];
    }
    return true;
}

// Exactly one record ended by CR LF, as RFC 4180 reads it; false for
// anything else.
bool readCsvLine(const QByteArray &line, QStringList &fields)
{
    qsizetype i = 0;
    for (;;) {
        QByteArray field;
        const bool quoted = i < line.size() && line[i] == '"';
        if (quoted)
            ++i;
        if (!(quoted ? readQuoted(line, i, field) : readPlain(line, i, field)))
            return false;
        fields << QString::fromUtf8(field);
        if (i < line.size() && line[i] == ',') {
            ++i;
            continue;
        }
        return i + 2 == line.size() && line[i] == '\r' && line[i + 1] == '\n';
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool latin1 = (data[0] & 1) != 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    QStringList fields;
    for (const QByteArray &part : input.split('\0'))
        fields << (latin1 ? QString::fromLatin1(part) : QString::fromUtf8(part));

    QStringList readBack;
    require(readCsvLine(csvLine(fields), readBack));
    require(readBack == fields);
    return 0;
}
