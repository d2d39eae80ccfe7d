// The two number formats on any double: no crash, and finite values read back.
#include "FuzzSupport.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "platform/Locale.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::EnsureApp();
    if (size < sizeof(double) + 1)
        return 0;
    double value;
    std::memcpy(&value, data + 1, sizeof value);
    vrma::SetDecimalSeparator((data[0] & 1) ? QLatin1Char(',') : QLatin1Char('.'));

    const QString fixed = vrma::FormatFixed4(value);
    const QString general = vrma::FormatGeneral15(value);
    if (!std::isfinite(value))
        return 0;
    const auto fixedBack = vrma::ParseRealDouble(fixed);
    VRMA_FUZZ_CHECK(fixedBack.has_value(), fixed);
    const qsizetype separator = fixed.indexOf(vrma::DecimalSeparator());
    VRMA_FUZZ_CHECK(separator >= 1 && fixed.size() - separator - 1 == 4, fixed);
    // Four decimals, at most 18 significant digits: the error is bounded by both.
    const double bound = std::max(0.00005, std::fabs(value) * 1e-17) * (1 + 1e-12);
    VRMA_FUZZ_CHECK(std::fabs(*fixedBack - value) <= bound || std::fabs(value) >= 1e300,
                    fixed);

    const auto generalBack = vrma::ParseReal(general);
    VRMA_FUZZ_CHECK(generalBack.has_value(), general);
    VRMA_FUZZ_CHECK(vrma::FormatGeneral15(*generalBack) == general, general);
    return 0;
}
