#pragma once
// Shared bits of the fuzz targets: a Qt core application and a checked abort.
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace vrma::fuzz {

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

[[noreturn]] inline void Fail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "property violated: %s [%s]\n", what, detail.toUtf8().constData());
    std::abort();
}

#define VRMA_FUZZ_CHECK(cond, detail)                                                          \
    do {                                                                                       \
        if (!(cond))                                                                           \
            ::vrma::fuzz::Fail(#cond, (detail));                                               \
    } while (0)

} // namespace vrma::fuzz
