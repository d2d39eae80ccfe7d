// Reading bounded by the text, not by the file: a NUL ends the text and nothing after it
// is read or reserved for (a sparse file of 64 GiB reads as its few lines); documents
// that do not convert fail before they cost more than their text; a path swapped for a
// pipe between any check and the open never blocks. The memory bounds are checked in a
// child process with an address-space limit (RLIMIT_AS) a little above what it has.
#include "data/Errors.h"
#include "data/ExportFiles.h"
#include "data/GeometryFiles.h"
#include "data/Messages.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Locale.h"
#include "platform/StringGrid.h"
#include "support/RecordingDialogHost.h"
#include "support/ScriptedDialogHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VRMA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRMA_ASAN 1
#endif
#endif

namespace {

using vrma::test::RecordingHost;

// The process's address space now, in bytes.
long long AddressSpace() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').at(0).toLongLong() * 1024;
    return -1;
}

// Runs f in a child process whose address space may grow by at most extraMb, for at most
// seconds; returns f's result, 100 + a signal that ended the child, or 99 when f threw.
int InChild(const std::function<int()>& f, long long extraMb, unsigned seconds = 60) {
    const long long now = AddressSpace();
    if (now <= 0)
        return 98;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (extraMb > 0) {
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = rlim_t(now + extraMb * 1024 * 1024);
            if (::setrlimit(RLIMIT_AS, &limit) != 0)
                ::_exit(97);
        }
        ::alarm(seconds);
        int code = 99;
        try {
            code = f();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return 96;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

#define SKIP_UNDER_ASAN()                                                                          \
    do {                                                                                           \
        if (kAsan)                                                                                 \
            GTEST_SKIP() << "AddressSanitizer reserves more address space than RLIMIT_AS "         \
                            "leaves: the memory bounds are checked in the normal build";           \
    } while (0)

#ifdef VRMA_ASAN
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif

class BoundedReading : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = vrma::DecimalSeparator();
        vrma::SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override {
        vrma::SetBeforeOpenHook({});
        vrma::DestroyEditorWindows();
        vrma::SetDecimalSeparator(previous_);
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return Path(name);
    }

    // text, then holes up to an apparent size of 64 GiB: NULs that take no disk space.
    QString Sparse(const QString& name, const QByteArray& text) const {
        const QString path = Write(name, text);
        EXPECT_EQ(::truncate(QFile::encodeName(path).constData(), off_t(64) << 30), 0);
        return path;
    }

    // 100 MB of CR bytes: 100 million empty lines.
    QString Breaks(const QString& name) const {
        return Write(name, QByteArray(100 * 1000 * 1000, '\r'));
    }

    QTemporaryDir dir_;
    QChar previous_;
};

QByteArray PlanarLines(int count) {
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += QByteArray::number(i) + ".25 ; " + QByteArray::number(-i) + ".5\r\n";
    return text;
}

TEST_F(BoundedReading, ANulEndsTheTextAndNothingAfterItIsReadOrReserved) {
    SKIP_UNDER_ASAN();
    const QByteArray text = PlanarLines(20000); // some 300 kB
    ASSERT_GT(text.size(), 300000);
    const QString path = Sparse(QStringLiteral("sparse.crd"), text);
    // The text and its readers in 256 MB, for a file of 64 GiB.
    EXPECT_EQ(InChild(
                  [&] {
                      if (vrma::ReadFileBytes(path) != text)
                          return 1;
                      if (vrma::ReadTextLines(path).size() != 20000)
                          return 2;
                      vrma::VT_Points points(1);
                      vrma::LoadPointFile(path, &points);
                      return points.Count() == 20000 ? 0 : 3;
                  },
                  256),
              0);
}

TEST_F(BoundedReading, TheEditorOpensTheTextOfASparseFile) {
    SKIP_UNDER_ASAN();
    const QString path = Sparse(QStringLiteral("sparse.crd"), PlanarLines(20000));
    EXPECT_EQ(InChild(
                  [&] {
                      RecordingHost host;
                      vrma::test::ScopedDialogHost installed(host);
                      vrma::TRedForm* w = vrma::CreateEditorWindow();
                      if (w->OpenDocument(path, 2) != 1)
                          return 1;
                      const vrma::TStringGrid& g = *w->StringGrid1;
                      return g.RowCount() == 20001 && g.Cells(1, 20000) == "19999.25" ? 0 : 2;
                  },
                  512),
              0);
}

TEST_F(BoundedReading, ADocumentOfLineBreaksFailsWithinItsText) {
    SKIP_UNDER_ASAN();
    const QString path = Breaks(QStringLiteral("breaks.crd"));
    // The first (empty) line does not convert: the open fails with the fixed message, in
    // about the text's own memory, for a point and a list document alike.
    for (int kind : {1, 2, 4}) {
        EXPECT_EQ(InChild(
                      [&] {
                          RecordingHost host;
                          vrma::test::ScopedDialogHost installed(host);
                          vrma::TRedForm* w = vrma::CreateEditorWindow();
                          if (w->OpenDocument(path, kind) != 0)
                              return 1;
                          if (host.boxes.size() != 1 ||
                              host.boxes[0].text != vrma::messages::InternalError())
                              return 2;
                          return w->StringGrid1->RowCount() == 2 ? 0 : 3;
                      },
                      400),
                  0)
            << kind;
    }
}

TEST_F(BoundedReading, GeometryDocumentsReadOnlyTheirLines) {
    SKIP_UNDER_ASAN();
    // Eight values, then 100 MB of line breaks; and the same before a 64 GiB hole.
    QByteArray camera;
    for (int k = 0; k < 8; ++k)
        camera += QByteArray::number(100 + k) + " ; comment\r\n";
    const QString big = Write(QStringLiteral("big.cam"), camera + QByteArray(100000000, '\r'));
    const QString sparse = Sparse(QStringLiteral("sparse.cam"), camera);
    for (const QString& path : {big, sparse}) {
        EXPECT_EQ(InChild(
                      [&] {
                          const QStringList values = vrma::ReadGeometryValues(path, 8);
                          if (values.size() != 8 || values[0] != "100 " || values[7] != "107 ")
                              return 1;
                          RecordingHost host;
                          vrma::test::ScopedDialogHost installed(host);
                          vrma::TRedForm* w = vrma::CreateEditorWindow();
                          if (w->OpenDocument(path, 5) != 1)
                              return 2;
                          return w->StringGrid1->Cells(1, 7) == "107 " ? 0 : 3;
                      },
                      200),
                  0)
            << path.toStdString();
    }
    // Fewer lines than the format has: the rest are empty.
    const QStringList short_ =
        vrma::ReadFirstTextLines(Write(QStringLiteral("s.cam"), "1\r\n2\r"), 8);
    EXPECT_EQ(short_, QStringList({"1", "2"}));
    EXPECT_EQ(vrma::ReadFirstTextLines(Write(QStringLiteral("t.cam"), "1\r\n2\r\n3"), 2),
              QStringList({"1", "2"}));
}

TEST_F(BoundedReading, TheExportKeepsATableOfLineBreaksAsBytes) {
    SKIP_UNDER_ASAN();
    const QString path = Breaks(QStringLiteral("breaks.tab"));
    // Read (100 MB) and written back with CR LF (200 MB): no list of 100 million texts.
    EXPECT_EQ(
        InChild(
            [&] {
                const QByteArray out = vrma::TableWithCoefficient(vrma::ReadFileBytes(path), 1.5);
                return out.size() == 8 + 2 * 99999999 && out.startsWith("1.5000\r\n\r\n") ? 0 : 1;
            },
            700),
        0);
}

TEST_F(BoundedReading, TheTableBytesAreTheLinesWrittenBack) {
    // Compared with the list of lines, on random texts of breaks, NULs and code-page bytes.
    std::mt19937 random(12);
    const char alphabet[] = {'\r', '\n', '\0', 'a', '1', ';', ' ', '\x98', '\xFF', '\xC0'};
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        const int size = int(random() % 24);
        for (int i = 0; i < size; ++i)
            text += alphabet[random() % sizeof(alphabet)];
        QStringList lines = vrma::DecodeTextLines(text);
        if (lines.isEmpty()) {
            EXPECT_THROW(vrma::TableWithCoefficient(text, 2.0), vrma::Exception);
            continue;
        }
        vrma::ReplaceCoefficientLine(lines, 2.0);
        ASSERT_EQ(vrma::TableWithCoefficient(text, 2.0), vrma::EncodeTextLines(lines))
            << text.toHex().toStdString();
    }
}

TEST_F(BoundedReading, APathSwappedForAPipeBeforeTheOpenDoesNotBlock) {
    const QString path = Write(QStringLiteral("swapped.crd"), "1 ; 2\r\n");
    // Right before the open, the checked file is replaced by a pipe with no writer: a
    // blocking open would wait for good (the child then dies of its alarm).
    vrma::SetBeforeOpenHook([](const QString& name) {
        const QByteArray local = QFile::encodeName(name);
        ::unlink(local.constData());
        ::mkfifo(local.constData(), 0600);
    });
    const std::vector<std::function<void()>> readers = {
        [&] { vrma::ReadFileBytes(path); },
        [&] { vrma::ReadFirstTextLines(path, 8); },
        [&] {
            vrma::VT_Points points(1);
            vrma::LoadPointFile(path, &points);
        },
    };
    for (std::size_t r = 0; r < readers.size(); ++r) {
        EXPECT_EQ(InChild(
                      [&] {
                          try {
                              readers[r]();
                          } catch (const vrma::FileError& error) {
                              return QString::fromUtf8(error.what()).contains(path) ? 0 : 2;
                          }
                          return 1;
                      },
                      0, 10),
                  0)
            << r;
        // The pipe out of the way first: opening it to write would wait for a reader.
        QFile::remove(path);
        Write(QStringLiteral("swapped.crd"), "1 ; 2\r\n");
    }
    // The editor's open of the swapped path fails with its message.
    RecordingHost host;
    vrma::test::ScopedDialogHost installed(host);
    EXPECT_EQ(
        InChild([&] { return vrma::CreateEditorWindow()->OpenDocument(path, 2) == 0 ? 0 : 1; }, 0,
                10),
        0);
}

} // namespace
