// A save beyond the file-size limit (RLIMIT_FSIZE) with the programs' start-up handling
// of SIGXFSZ: the write fails as a write, the editor keeps its edits and its modified
// flag, and the old file stays. In a child process, with the signal at its default
// before the start-up step, as a fresh program has it.
#include "data/Errors.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Locale.h"
#include "platform/StringGrid.h"
#include "support/ScriptedDialogHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(FileSizeLimit, TheEditorsSaveFailsAndKeepsTheEdits) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    QByteArray old;
    for (int i = 0; i < 2000; ++i)
        old += QByteArray::number(i) + " ; " + QByteArray::number(i * 2) + "\r\n";
    const QString path = dir.filePath(QStringLiteral("points.crd"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        vrma::IgnoreFileSizeSignal(); // what both programs do at start-up
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        ::alarm(30);
        vrma::test::ScriptedDialogHost host;
        vrma::test::ScopedDialogHost installed(host);
        vrma::TRedForm* w = vrma::CreateEditorWindow();
        if (w->OpenDocument(path, 2) != 1)
            ::_exit(3);
        w->StringGrid1->SetCell(1, 5, QStringLiteral("42"));
        w->modified = true;
        host.answerFile(path);
        bool failed = false;
        try {
            w->N3Click(w->N3);
        } catch (const vrma::FileError&) {
            failed = true;
        }
        ::_exit(failed && w->modified && w->StringGrid1->Cells(1, 5) == "42" ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"points.crd"}));
}

} // namespace
