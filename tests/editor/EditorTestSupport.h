#pragma once
// Helpers of the editor tests: a scripted dialog host, files in a temporary folder.
#include "editor/Edit.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace vrma::test {

// One dialog that was shown.
struct Shown {
    enum class What { MessageBox, Message, FileDialog, Modal } what;
    QString text;
    QString caption;
    unsigned type = 0;
    QString filter, defaultExt, fileName;
};

class ScriptedHost : public DialogHost {
public:
    ScriptedHost() { previous_ = SetDialogHost(this); }
    ~ScriptedHost() override {
        SetDialogHost(previous_);
        EXPECT_TRUE(answers_.empty() && files_.empty()) << "answers left unused";
    }

    void Answer(int id) { answers_.push_back(id); }
    void ChooseFile(const QString& path) { files_.push_back(path); }
    void CancelFile() { files_.push_back(QString()); }
    void DropPendingAnswers() {
        answers_.clear();
        files_.clear();
    }

    std::vector<Shown> shown;

    int messageBox(QWidget*, const QString& text, const QString& caption, unsigned type) override {
        shown.push_back({Shown::What::MessageBox, text, caption, type, {}, {}, {}});
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text.toStdString();
            return IDOK;
        }
        const int id = answers_.front();
        answers_.pop_front();
        return id;
    }
    void showMessage(const QString& text) override {
        shown.push_back({Shown::What::Message, text, {}, 0, {}, {}, {}});
    }
    bool execute(FileDialog& dialog) override {
        shown.push_back({Shown::What::FileDialog,
                         {},
                         {},
                         0,
                         dialog.Filter,
                         dialog.DefaultExt,
                         dialog.FileName});
        if (files_.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return false;
        }
        const QString path = files_.front();
        files_.pop_front();
        if (path.isEmpty())
            return false;
        dialog.FileName = path;
        dialog.Files = QStringList{path};
        return true;
    }
    int execModal(QWidget&) override {
        shown.push_back({Shown::What::Modal, {}, {}, 0, {}, {}, {}});
        return 0;
    }
    void help(QWidget*, const QString&, unsigned, quintptr) override {}

private:
    DialogHost* previous_ = nullptr;
    std::deque<int> answers_;
    std::deque<QString> files_;
};

// Every editor test: a scripted host, a temporary folder, the separator given, and no
// editor window left behind.
class EditorTest : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator(QLatin1Char(',')); }
    void TearDown() override {
        DestroyEditorWindows();
        SetDecimalSeparator(QLatin1Char('.'));
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return Path(name);
    }

    static QByteArray Read(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return "<missing>";
        return file.readAll();
    }

    // A fresh window with a document opened (1 expected).
    TRedForm* Open(const QString& name, int kind) {
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(name, kind), 1);
        return w;
    }

    ScriptedHost host;
    QTemporaryDir dir_;
};

} // namespace vrma::test
