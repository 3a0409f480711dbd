// libFuzzer target for what reads the wire. Build and run:
//   tools/fuzz.sh 60        (or: build/fuzz/fuzz/fuzz_record CORPUS fuzz/seeds/fuzz_record)
// Each byte is one character, as the serial line delivers it. The only error
// allowed out is the overflow error (6); a broken invariant traps.

#include "reception/record_parser.h"
#include "runtime/leading_number.h"
#include "runtime/numbered_error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr rt::Int16 kOld = -99;
constexpr rt::Int16 kOldLen = -1;

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <typename Call>
bool raisedOverflow(Call call)
{
    try {
        call();
    } catch (const rt::NumberedError &error) {
        require(error.number() == rt::Overflow);
        return true;
    }
    return false;
}

QString withoutFinalLfCr(const QString &text)
{
    return text.endsWith(u"\n\r") ? text.chopped(2) : text;
}

void checkParse(const QString &text)
{
    ReceptionState state{text, kOldLen, kOld, kOld, kOld};
    RecordOutcome outcome = RecordOutcome::Rejected;
    const bool overflowed = raisedOverflow([&] { outcome = parseRecord(state); });
    const bool startsWithDigit = !text.isEmpty() && text.front() >= u'0' && text.front() <= u'9';

    if (!startsWithDigit) {
        require(!overflowed && outcome == RecordOutcome::Rejected);
        require(state.Rx_Line == text && state.Rx_Len == kOldLen);
        require(state.Sens_A == kOld && state.Sens_B == kOld && state.Sens_C == kOld);
        return;
    }
    if (overflowed && text.size() > 32767) {
        require(state.Rx_Line == text && state.Rx_Len == kOldLen);
        require(state.Sens_A == kOld && state.Sens_B == kOld && state.Sens_C == kOld);
        return;
    }
    const QString shortened = withoutFinalLfCr(text);
    require(state.Rx_Len == shortened.size());
    if (overflowed) {
        // Field C is read last, so it can never have been stored.
        require(state.Rx_Line == shortened && state.Sens_C == kOld);
        return;
    }
    if (outcome == RecordOutcome::Rejected) {
        require(state.Rx_Line == shortened);
        require(state.Sens_A == kOld && state.Sens_B == kOld && state.Sens_C == kOld);
        return;
    }
    require(state.Rx_Line.isEmpty());
    require(state.Sens_A >= 0); // field A starts with a digit, so no sign
}

// For texts made only of digits, periods, E and signs the conversion must
// agree with the C library's, which is correctly rounded too.
void checkAgainstStrtod(const std::uint8_t *data, std::size_t size)
{
    std::string plain;
    for (std::size_t i = 0; i < size && std::string_view("0123456789.eE+-").find(char(data[i])) != std::string_view::npos; ++i)
        plain.push_back(char(data[i]));
    const double ours = rt::leadingNumber(QString::fromLatin1(plain.data(), qsizetype(plain.size())));
    const double theirs = std::strtod(plain.c_str(), nullptr);
    require(ours == theirs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    checkParse(text);
    raisedOverflow([&] { rt::leadingInt16(text); });
    // The same bytes read as UTF-8 give characters above 127 and surrogates.
    raisedOverflow([&] { rt::leadingNumber(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size))); });
    checkAgainstStrtod(data, size);
    return 0;
}
