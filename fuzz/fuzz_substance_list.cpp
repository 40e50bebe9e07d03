// The substance-factor lists: a list file's bytes decoded into "name=factor" rows, each row split
// at its first "=" as the grid does, and its factor (and the molar mass after a ";") read as the
// factor page reads them.
// Checks: no row is blank or holds a line end; the rows survive being written back and read again
// unchanged (the factor page rewrites both files every time it is left); a factor that is taken
// is a finite number above zero, and so is a molar mass.

#include "FuzzCheck.h"
#include "app/SubstanceFactors.h"
#include "evaluation/SubstanceList.h"

#include <QLocale>
#include <cmath>

using namespace korvat;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The lists' factors are typed with a decimal comma.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList rows = decodeSubstanceList(fuzz::bytesOf(data, size));
    for (const QString& row : rows) {
        FUZZ_CHECK(!row.trimmed().isEmpty(), "a blank row");
        FUZZ_CHECK(!row.contains(QLatin1Char('\n')), "a row holding a line feed");

        const qsizetype eq = row.indexOf(QLatin1Char('='));
        const SubstanceValue value = splitSubstanceValue(eq < 0 ? QString() : row.mid(eq + 1));
        FUZZ_CHECK(!value.factor.contains(QLatin1Char(';')), "a factor holding the molar mass's separator");
        if (const auto v = parseSubstanceFactor(value.factor))
            FUZZ_CHECK(std::isfinite(*v) && *v > 0.0, "a factor taken that is not a finite number above zero");
        if (const auto m = parseMolarMass(value.molarMass))
            FUZZ_CHECK(std::isfinite(*m) && *m > 0.0, "a molar mass taken that is not a finite number above zero");
    }

    const QStringList again = decodeSubstanceList(encodeSubstanceList(rows));
    FUZZ_CHECK(again == rows, "rows changed by writing the list back and reading it again");
    return 0;
}
