// A latitude or longitude as the user types it, or as a CSV or control-point
// file holds it: the first byte chooses the axis, the rest is the text. The
// oracle: a value the parser accepts lies in the axis's range, and what the
// program shows of it (five decimals, or degrees, minutes and seconds) reads
// back as the same value.

#include "fuzz_support.h"

#include "geo/coordinates.h"

#include <cmath>

namespace {

void check(bool condition, const char* what, const QString& typed, double value)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_coordinates: %s: \"%s\" read as %.9f\n", what, qPrintable(typed), value);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    using platform::Axis;
    const Axis axis = data[0] % 2 ? Axis::Longitude : Axis::Latitude;
    const QString typed = QString::fromUtf8(fuzz::bytesOf(data + 1, size - 1));
    double value = 0;
    try {
        value = platform::parseAngle(typed, axis);
    } catch (const platform::AppError&) {
        return 0;
    }
    const double limit = axis == Axis::Latitude ? 90 : 180;
    check(std::isfinite(value) && std::abs(value) <= limit, "outside its range", typed, value);
    for (bool dms : { false, true }) {
        const QString shown = platform::formatAngle(value, axis, dms);
        double again = 0;
        try {
            again = platform::parseAngle(shown, axis);
        } catch (const platform::AppError&) {
            check(
                false, qPrintable(QStringLiteral("what is shown (%1) is refused").arg(shown)), typed, value);
        }
        // Five decimals of a degree, or a tenth of a second of arc.
        check(std::abs(again - value) <= (dms ? 0.051 / 3600 : 0.51e-5),
            qPrintable(QStringLiteral("what is shown (%1) reads back otherwise").arg(shown)), typed, value);
    }
    return 0;
}
