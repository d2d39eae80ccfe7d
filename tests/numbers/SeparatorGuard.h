#pragma once
// Sets the decimal separator for the length of a scope.
#include "platform/Locale.h"

class SeparatorGuard {
public:
    explicit SeparatorGuard(QChar separator) : previous_(vrma::DecimalSeparator()) {
        vrma::SetDecimalSeparator(separator);
    }
    ~SeparatorGuard() { vrma::SetDecimalSeparator(previous_); }
    SeparatorGuard(const SeparatorGuard&) = delete;
    SeparatorGuard& operator=(const SeparatorGuard&) = delete;

private:
    QChar previous_;
};
