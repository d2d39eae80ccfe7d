#pragma once
// Shared bits of the fuzz targets: a Qt application when none exists, and the check of
// a property. A violated property aborts the fuzzer (so that it keeps the input); the
// replay tests install a handler that turns it into a test failure instead.
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vrma::fuzz {

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// Called with a description of the violation; must not return normally (throw or abort).
using FailureHandler = void (*)(const std::string& what);

inline FailureHandler& CurrentFailureHandler() {
    static FailureHandler handler = nullptr;
    return handler;
}

[[noreturn]] inline void Fail(const char* what, const QString& detail = QString()) {
    const std::string text =
        std::string("property violated: ") + what + " [" + detail.toStdString() + "]";
    if (FailureHandler handler = CurrentFailureHandler())
        handler(text);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::abort();
}

#define VRMA_FUZZ_CHECK(cond, detail)                                                              \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::vrma::fuzz::Fail(#cond, (detail));                                                   \
    } while (0)

} // namespace vrma::fuzz
