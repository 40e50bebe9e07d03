// Loading a stored raw-data file and evaluating its FID peak again, as the load button and
// korvat-eval do. The input is the file's bytes; numbers read with a comma or a point alike.
// Checks: every series keeps x and y of equal length, point i sits at i x 0.1 s, the FPD series
// never runs ahead of the FID series, a load that succeeded holds exactly count - 1 points, a
// failed one names the file; the evaluation's bounds lie on the curve and its area is a number
// not below zero.

#include "FuzzCheck.h"
#include "evaluation/PeakSearch.h"
#include "evaluation/RawDataLoader.h"

#include <cmath>

using namespace korvat;

namespace {

void checkSeries(const Series& s, bool slope) {
    FUZZ_CHECK(s.x.size() == s.y.size(), "a series with x and y of different lengths");
    for (std::size_t i = 0; i < s.x.size(); ++i) {
        // Slope point k belongs to signal index k + 4 and sits two samples back, at (k + 2) x 0.1 s.
        const double expected = (slope ? static_cast<double>(i) + 2.0 : static_cast<double>(i)) * 0.1;
        FUZZ_CHECK(std::abs(s.x[i] - expected) < 1e-9, "a point not at its time");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString kName = QStringLiteral("Glove7_3.txt");

    Series series1, series2, serie3;
    const RawLoadResult r = loadRawData(kName, fuzz::bytesOf(data, size), series1, series2, serie3);

    checkSeries(series1, false);
    checkSeries(series2, false);
    checkSeries(serie3, true);
    FUZZ_CHECK(series2.size() <= series1.size(), "the FPD series runs ahead of the FID series");
    FUZZ_CHECK((series2.size() == 0) || series1.size() - series2.size() <= 1, "the FPD series fell behind");
    FUZZ_CHECK(serie3.size() + 4 <= std::max<std::size_t>(series1.size(), 4),
               "more slope points than signal points allow");
    if (r.ok) {
        const std::size_t expected = r.count > 1 ? static_cast<std::size_t>(r.count) - 1 : 0;
        FUZZ_CHECK(series1.size() == expected, "a successful load without count - 1 points");
        FUZZ_CHECK((series2.size() == 0) || series2.size() == expected,
                   "a successful load with a short FPD series");
    } else {
        FUZZ_CHECK(r.error.startsWith(kName + QStringLiteral(", line ")),
                   "a failed load that does not name the file and line");
        return 0;
    }

    EvaluationState st;
    PeakAndArea(st, TDeviceTyp::FID, series1, serie3, DetectionSettings{});
    FUZZ_CHECK(st.FIDArea >= 0.0, "an FID area below zero or not a number");
    // The refinement may move the start past an end that lies before the expected apex (the
    // chord is then drawn backwards and encloses nothing); both ends still lie on the curve.
    if (st.FIDBaseDraw) {
        const auto n = static_cast<int>(series1.size());
        FUZZ_CHECK(st.PeakStartIndex >= 0 && st.PeakStartIndex < n && st.PeakEndIndex >= 0 &&
                       st.PeakEndIndex < n,
                   "peak bounds off the curve");
    }
    return 0;
}
