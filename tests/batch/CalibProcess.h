#pragma once
// vrma-calib run as a process, as a script runs it: its exit code and what it printed,
// under a UTF-8 locale with "." as the decimal separator.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <sys/resource.h>

namespace vrma::test {

struct CalibResult {
    int code = -1;
    QString out;
    QString err;
    bool crashed = false; // ended by a signal
};

// The environment a script gives it: the caller's, with a UTF-8 locale.
inline QProcessEnvironment CalibEnvironment(const QString& locale = QStringLiteral("C.UTF-8")) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    return environment;
}

// Runs vrma-calib with the arguments, in the environment, in the folder ("" for the
// current one).
inline CalibResult RunCalib(const QStringList& arguments,
                            const QProcessEnvironment& environment = CalibEnvironment(),
                            const QString& folder = QString()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QStringLiteral(VRMA_CALIB_BINARY), arguments);
    CalibResult result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "vrma-calib did not finish";
        return result;
    }
    result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Runs vrma-calib with one of its resource limits (RLIMIT_AS, RLIMIT_FSIZE) at `limit`, and
// one memory arena (an address-space limit then measures the memory it takes). A run that
// a signal ends (below what the program needs to be loaded, say) is `crashed`.
inline CalibResult RunCalibLimited(decltype(RLIMIT_AS) resource, rlim_t limit,
                                   const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = CalibEnvironment();
    environment.insert(QStringLiteral("MALLOC_ARENA_MAX"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([resource, limit] {
        rlimit value{};
        value.rlim_cur = value.rlim_max = limit;
        ::setrlimit(resource, &value);
    });
    process.start(QStringLiteral(VRMA_CALIB_BINARY), arguments);
    CalibResult result;
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << "vrma-calib did not finish";
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.code = result.crashed ? -1 : process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace vrma::test
