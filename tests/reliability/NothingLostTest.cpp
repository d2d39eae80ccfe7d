// Nothing lost: a write that fails part-way leaves the file that was there exactly as it
// was (bytes, permissions) and no temporary file beside it; a file that was not there is
// not created.
#include "app/Alfa_form.h"
#include "data/Errors.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Locale.h"
#include "platform/StringGrid.h"
#include "support/ScriptedDialogHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class NothingLost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { vrma::SetWriteFailureAfterBytes(-1); }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Put(const QString& name, const QByteArray& bytes, mode_t mode = 0644) const {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }

    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    static mode_t Mode(const QString& path) {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        return info.st_mode & 07777;
    }

    QStringList Entries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir dir_;
};

// The old file: Cyrillic text, the undefined byte 0x98, a line without a final break.
const QByteArray kOld("\xD1\xF2\xE0\xF0\xFB\xE9 \xF4\xE0\xE9\xEB\r\n1,5 ; 2\r\n\x98\r\nend");

QStringList NewLines() {
    return {QStringLiteral("Новое содержимое файла"), QStringLiteral("1,2345 ; -6,789"), QString(),
            QStringLiteral("0,0000 ; 0,0000"), QString(QChar(0x98)) + "x"};
}

TEST_F(NothingLost, AWriteThatFailsAtAnyByteLeavesTheOldFile) {
    const QString path = Put(QStringLiteral("table.tab"), kOld, 0640);
    const QStringList before = Entries();
    const qsizetype size = vrma::EncodeTextLines(NewLines()).size();
    for (qint64 after = 0; after <= size; ++after) {
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(vrma::WriteTextLines(path, NewLines()), vrma::FileError) << after;
        ASSERT_EQ(Bytes(path), kOld) << after;
        ASSERT_EQ(Mode(path), mode_t(0640)) << after;
        ASSERT_EQ(Entries(), before) << after;
    }
    // Without the failure the same write replaces the file, keeping its permissions.
    vrma::SetWriteFailureAfterBytes(-1);
    vrma::WriteTextLines(path, NewLines());
    EXPECT_EQ(vrma::ReadTextLines(path), NewLines());
    EXPECT_EQ(Mode(path), mode_t(0640));
    EXPECT_EQ(Entries(), before);
}

TEST_F(NothingLost, AFailedWriteCreatesNoNewFile) {
    const QString path = Path(QStringLiteral("камера 1.cam"));
    for (qint64 after :
         {qint64(0), qint64(1), qint64(10), vrma::EncodeTextLines(NewLines()).size()}) {
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(vrma::WriteTextLines(path, NewLines()), vrma::FileError);
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(Entries(), QStringList());
    }
}

TEST_F(NothingLost, ALargeWriteThatFailsHalfWay) {
    // A file of 200,000 lines fails after half of its bytes.
    QStringList lines;
    lines.reserve(200000);
    for (int i = 0; i < 200000; ++i)
        lines << QStringLiteral("%1,25 ; %2,5").arg(i).arg(-i);
    const QString path = Put(QStringLiteral("big.crd"), kOld);
    vrma::SetWriteFailureAfterBytes(vrma::EncodeTextLines(lines).size() / 2);
    EXPECT_THROW(vrma::WriteTextLines(path, lines), vrma::FileError);
    EXPECT_EQ(Bytes(path), kOld);
    EXPECT_EQ(Entries(), QStringList({"big.crd"}));
}

// A real failing write, without special rights: a file size limit for the process
// (RLIMIT_FSIZE) makes the kernel refuse to write past it, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
    bool ok_ = false;
};

TEST_F(NothingLost, ARealWriteFailureLeavesTheOldFile) {
    const QString path = Put(QStringLiteral("data.crd"), kOld, 0600);
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("%1 ; %2").arg(i).arg(i * 2);
    ASSERT_GT(vrma::EncodeTextLines(lines).size(), 65536);
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(vrma::WriteTextLines(path, lines), vrma::FileError);
        // A small file still goes through under the limit.
        vrma::WriteTextLines(Path(QStringLiteral("small.crd")), {"1 ; 2"});
    }
    EXPECT_EQ(Bytes(path), kOld);
    EXPECT_EQ(Mode(path), mode_t(0600));
    EXPECT_EQ(Entries(), QStringList({"data.crd", "small.crd"}));
    // A small file, written in one piece when it is complete: the part that does not fit
    // must not be lost silently either.
    const rlim_t size = static_cast<rlim_t>(vrma::EncodeTextLines(NewLines()).size());
    for (rlim_t bytes : {rlim_t(0), rlim_t(1), size / 2, size - 1}) {
        FileSizeLimit limit(bytes);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(vrma::WriteTextLines(path, NewLines()), vrma::FileError) << bytes;
        EXPECT_EQ(Bytes(path), kOld) << bytes;
    }
    EXPECT_EQ(Entries(), QStringList({"data.crd", "small.crd"}));
    // Without the limit the same write goes through.
    vrma::WriteTextLines(path, lines);
    EXPECT_EQ(vrma::ReadTextLines(path), lines);
}

// ---- The editor's save ----

class NothingLostInTheEditor : public NothingLost {
protected:
    void TearDown() override {
        NothingLost::TearDown();
        vrma::DestroyEditorWindows();
        vrma::SetDecimalSeparator(QLatin1Char('.'));
    }

    // Opens the file, changes a cell and saves over the file with every write failing
    // after `after` bytes; the failure leaves the command.
    void SaveFailing(const QString& path, int kind, int col, int row, qint64 after) {
        vrma::TRedForm* window = vrma::CreateEditorWindow();
        ASSERT_EQ(window->OpenDocument(path, kind), 1);
        window->StringGrid1->SetCell(col, row, QStringLiteral("42"));
        window->modified = true;
        host_.answerFile(path);
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(window->N3Click(window->N3), vrma::FileError) << after;
        vrma::SetWriteFailureAfterBytes(-1);
        EXPECT_TRUE(window->modified) << "the edits are not saved";
    }

    vrma::test::ScriptedDialogHost host_;
    vrma::test::ScopedDialogHost installed_{host_};
};

TEST_F(NothingLostInTheEditor, APointDocumentSavedOverItsFile) {
    vrma::SetDecimalSeparator(QLatin1Char(','));
    const QByteArray old = "1,5 ; 2\r\n-3;4e2\r\n5;6\r\n";
    const QString path = Put(QStringLiteral("точки сцены.crd"), old, 0604);
    for (qint64 after : {0, 1, 7, 20, 25}) {
        SaveFailing(path, 2, 1, 2, after);
        ASSERT_EQ(Bytes(path), old);
        ASSERT_EQ(Mode(path), mode_t(0604));
        ASSERT_EQ(Entries(), QStringList({"точки сцены.crd"}));
    }
    // Without the failure the same save goes through.
    vrma::TRedForm* window = vrma::CreateEditorWindow();
    ASSERT_EQ(window->OpenDocument(path, 2), 1);
    window->StringGrid1->SetCell(1, 2, QStringLiteral("42"));
    host_.answerFile(path);
    window->N3Click(window->N3);
    EXPECT_EQ(Bytes(path), "1,5 ; 2\r\n42 ; 400\r\n5 ; 6\r\n");
}

TEST_F(NothingLostInTheEditor, AListAndAGeometryDocument) {
    const QByteArray list = "1\r\n2\r\n3\r\n";
    const QString lst = Put(QStringLiteral("list.lst"), list);
    SaveFailing(lst, 4, 1, 1, 3);
    EXPECT_EQ(Bytes(lst), list);

    QByteArray camera;
    for (int k = 0; k < 8; ++k)
        camera += (k == 2 ? QByteArray("T.tab") : QByteArray::number(100 + k)) + " ; \xEA\r\n";
    const QString cam = Put(QStringLiteral("camera.cam"), camera);
    for (qint64 after : {0, 50, 200})
        SaveFailing(cam, 5, 1, 3, after);
    EXPECT_EQ(Bytes(cam), camera);
    EXPECT_EQ(Entries(), QStringList({"camera.cam", "list.lst"}));
}

// ---- The export's correction table and camera file ----

class NothingLostInTheExport : public NothingLost {
protected:
    void SetUp() override {
        NothingLost::SetUp();
        form_ = std::make_unique<vrma::TAlfaKalibr_Form>();
        form_->coefficient = 1.0023;
    }
    void TearDown() override {
        NothingLost::TearDown();
        vrma::DestroyEditorWindows();
    }

    vrma::test::ScriptedDialogHost host_;
    vrma::test::ScopedDialogHost installed_{host_};
    std::unique_ptr<vrma::TAlfaKalibr_Form> form_;
};

TEST_F(NothingLostInTheExport, TheCorrectionTable) {
    // An existing table, whose first line the export replaces.
    const QByteArray old = "0.9876\r\n0 0 720 576 X 0.0 1.0 - Y 0.0 1.0 - ;\r\n\xD1\r\n";
    const QString table = Put(QStringLiteral("table.tab"), old, 0640);
    const qint64 size = vrma::EncodeTextLines(vrma::ReadTextLines(table)).size();
    for (qint64 after = 0; after <= size; ++after) {
        host_.answerFile(table);
        host_.answerYes(); // save into the existing file
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(form_->N16Click(form_->N16), vrma::FileError) << after;
        ASSERT_EQ(Bytes(table), old) << after;
        ASSERT_EQ(Mode(table), mode_t(0640));
        ASSERT_EQ(Entries(), QStringList({"table.tab"}));
    }
    // A new table is not created by a failed write.
    host_.answerFile(Path(QStringLiteral("new.tab")));
    vrma::SetWriteFailureAfterBytes(10);
    EXPECT_THROW(form_->N16Click(form_->N16), vrma::FileError);
    EXPECT_EQ(Entries(), QStringList({"table.tab"}));
    EXPECT_TRUE(vrma::EditorWindows().isEmpty());
    host_.expectAllAnswersUsed();
}

TEST_F(NothingLostInTheExport, TheCameraFile) {
    // The table is written; the camera file, replacing an existing one, fails part-way.
    // A real failure: the kernel refuses to write past a file size limit, which lies
    // above the size of the table and below that of the camera file.
    const QByteArray oldCamera = "old camera file\r\n";
    const QString camera = Put(QStringLiteral("camT.cam"), oldCamera, 0600);
    const QString table = Put(QStringLiteral("table.tab"), "0.5\r\n");
    for (rlim_t bytes : {64, 128, 256}) {
        host_.answerFile(table);
        host_.answerYes(); // into the existing table
        host_.answerYes(); // a camera file as well
        host_.answerFile(Path(QStringLiteral("cam.cam")));
        host_.answerYes(); // replace camT.cam
        {
            FileSizeLimit limit(bytes);
            ASSERT_TRUE(limit.ok());
            EXPECT_THROW(form_->N16Click(form_->N16), vrma::FileError) << bytes;
        }
        host_.expectAllAnswersUsed();
        EXPECT_EQ(Bytes(table), "1.0023\r\n") << bytes;
        EXPECT_EQ(Bytes(camera), oldCamera) << bytes;
        EXPECT_EQ(Mode(camera), mode_t(0600));
        EXPECT_EQ(Entries(), QStringList({"camT.cam", "table.tab"}));
        EXPECT_TRUE(vrma::EditorWindows().isEmpty()) << "no editor on a camera file not written";
        Put(QStringLiteral("table.tab"), "0.5\r\n");
    }
    // The camera file is larger than the largest limit.
    EXPECT_GT(vrma::EncodeTextLines(vrma::ReadTextLines(camera)).size(), 0);
    host_.answerFile(table);
    host_.answerYes();
    host_.answerYes();
    host_.answerFile(Path(QStringLiteral("cam.cam")));
    host_.answerYes();
    host_.answerModal(); // the editor on the written file
    form_->N16Click(form_->N16);
    EXPECT_GT(QFileInfo(camera).size(), 256);
}

} // namespace
