// The number syntax: any text is accepted or rejected without harm, and whatever is
// accepted formats and reads back to the same value at 15 digits.
#include "FuzzSupport.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "platform/Locale.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::EnsureApp();
    if (size == 0)
        return 0;
    // The first byte picks the decimal separator, the rest is the text.
    vrma::SetDecimalSeparator((data[0] & 1) ? QLatin1Char(',') : QLatin1Char('.'));
    const QString text = vrma::DecodeCp1251(reinterpret_cast<const char*>(data + 1),
                                            static_cast<qsizetype>(size - 1));

    if (const auto value = vrma::ParseReal(text)) {
        const QString once = vrma::FormatGeneral15(*value);
        const auto back = vrma::ParseReal(once);
        VRMA_FUZZ_CHECK(back.has_value(), once);
        VRMA_FUZZ_CHECK(vrma::FormatGeneral15(*back) == once, once);
    }
    if (const auto value = vrma::ParseRealDouble(text)) {
        VRMA_FUZZ_CHECK(std::isfinite(*value), text);
        const auto wide = vrma::ParseReal(text);
        VRMA_FUZZ_CHECK(wide.has_value(), text);
        VRMA_FUZZ_CHECK(static_cast<double>(*wide) == *value ||
                            std::fabs(static_cast<double>(*wide) - *value) <=
                                std::fabs(*value) * 1e-15,
                        text);
    }
    if (const auto integer = vrma::ParseInteger(text)) {
        const QString plain = vrma::FormatInteger(*integer);
        VRMA_FUZZ_CHECK(vrma::ParseInteger(plain) == integer, plain);
    }
    return 0;
}
