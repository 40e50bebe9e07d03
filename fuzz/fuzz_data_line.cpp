// The value fields of the instrument's lines: a data line's sample, the hexadecimal fields of the
// replies and the conversions the status poll shows them with. Checks: a decoded sample lies within
// the converter's range and has the sign its sign character gives; a hexadecimal field agrees with
// Qt's own reading of the same digits and fails exactly when the line is too short or holds a
// character that is no hexadecimal digit; the shown forms of every 16-bit code stay in range.

#include "FuzzCheck.h"
#include "link/Commands.h"
#include "util/Utils.h"

#include <cmath>

using namespace korvat;

namespace {

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

void checkShownForms(int code) {
    const int v = signed16(code);
    FUZZ_CHECK(v >= -32768 && v <= 32767, "signed16 out of range");
    const int zero = zeroPercentFromCode(code & 0xFFFF);
    FUZZ_CHECK(zero >= -100 && zero <= 100, "zero compensation out of -100..100 %");
    // TenthsToStr: an optional minus, the whole tenths, a point and one digit; reads back as v / 10.
    const QString tenths = TenthsToStr(code);
    const qsizetype point = tenths.indexOf(QLatin1Char('.'));
    FUZZ_CHECK(point > 0 && point == tenths.size() - 2, "tenths without one decimal");
    bool ok = false;
    const double back = tenths.toDouble(&ok);
    FUZZ_CHECK(ok && std::abs(back * 10 - v) < 1e-6, "tenths do not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString line = QString::fromLatin1(fuzz::bytesOf(data, size));

    if (const auto sample = decodeDataLine(line)) {
        FUZZ_CHECK(line.size() >= 8, "a data line shorter than its field decoded");
        FUZZ_CHECK(sample->marker == '[' || sample->marker == '/' || sample->marker == ']',
                   "unknown block marker");
        FUZZ_CHECK(sample->marker == line[0].unicode(), "marker is not the first character");
        FUZZ_CHECK(sample->value >= -0xFFFFF && sample->value <= 0xFFFFF, "sample out of range");
        if (line[2] == QLatin1Char('0'))
            FUZZ_CHECK(sample->value <= 0, "sign character 0 gave a positive sample");
        else
            FUZZ_CHECK(sample->value >= 0, "a positive sign gave a negative sample");
    }

    // Every field the program reads (two, four and five digits) at every place of the line, and
    // the other widths that still fit an int.
    const int n = static_cast<int>(std::min<qsizetype>(line.size(), 24));
    for (int width = 1; width <= 7; ++width) {
        for (int from = 1; from <= n + 1; ++from) {
            const int to = from + width - 1;
            const auto field = hexField(line, from, to);
            bool allHex = to <= line.size();
            for (int i = from - 1; allHex && i < to; ++i)
                allHex = isHexDigit(line[i]);
            FUZZ_CHECK(field.has_value() == allHex, "hexField accepted or refused wrongly");
            if (!field)
                continue;
            bool ok = false;
            const int qt = line.mid(from - 1, width).toInt(&ok, 16);
            FUZZ_CHECK(ok && qt == *field, "hexField disagrees with the digits");
            if (width == 4)
                checkShownForms(*field);
        }
    }
    return 0;
}
