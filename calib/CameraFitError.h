#pragma once
// Why no camera could be fitted to photographs: a code and its numbers. what() is the
// wording of the message catalogue (data/CameraMessages.h), UTF-8.
#include "data/Errors.h"

#include <cstddef>

namespace vrma {

class CameraFitError : public CalcError {
public:
    enum class Code {
        NotConverged,       // no camera agrees with the photographs
        FocalsUndetermined, // the photographs do not fix the focal lengths
        TooFewPhotos,       // fewer than `needed` photographs of the field at all
        TooFewUsable,       // fewer than `needed` usable: `usable` of `total`
        SizeNotPositive,    // the photographs' size is not positive
        TooFewPoints,       // fewer residuals than unknowns
        Inseparable,        // the parameter `needed` (a CameraParameter) not told apart
    };

    explicit CameraFitError(Code code, int needed = 0, int usable = 0, std::size_t total = 0);

    Code code() const { return code_; }
    int needed() const { return needed_; }
    int usable() const { return usable_; }
    std::size_t total() const { return total_; }

private:
    Code code_;
    int needed_;
    int usable_;
    std::size_t total_;
};

} // namespace vrma
