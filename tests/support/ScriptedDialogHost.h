#pragma once
// A dialog host for tests: it answers every modal interaction from a queue of
// answers given in advance, records everything that was shown, and fails the test
// on an interaction that nothing was queued for or that gets the wrong kind of answer.
//
//   vrma::test::ScriptedDialogHost host;
//   vrma::test::ScopedDialogHost installed(host);
//   host.answerFile("/data/field/scene1.crd");
//   host.answerYes();
//   ... run the code ...
//   EXPECT_EQ(host.records().size(), 2u);
//
// When the host is destroyed, answers that were never used fail the test as well.
#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace vrma::test {

// One interaction as the program asked for it.
struct DialogRecord {
    enum class Kind { MessageBox, ShowMessage, FileDialog, Folder, Modal, Help };
    Kind kind = Kind::MessageBox;

    // Message boxes and the plain message window.
    QString text;
    QString caption;
    unsigned type = 0;
    QString ownerName; // objectName of the owner window
    bool hasOwner = false;

    // File dialogs, as configured when they were run.
    QString filter;
    QString defaultExt;
    QString fileName;
    QString initialDir; // also the folder a folder question proposed (its caption in caption)
    bool openDialog = false;
    bool multiSelect = false;

    // Modal windows (the owner fields hold nothing): the window's objectName and class.
    QString objectName;
    QString className;

    // Help requests (text holds the help file).
    unsigned command = 0;
    quintptr data = 0;
};

const char* KindName(DialogRecord::Kind kind);

class ScriptedDialogHost : public DialogHost {
public:
    // What a modal window does while it is shown; returns the modal result.
    using ModalAction = std::function<int(QWidget& window)>;

    ScriptedDialogHost() = default;
    ~ScriptedDialogHost() override;
    ScriptedDialogHost(const ScriptedDialogHost&) = delete;
    ScriptedDialogHost& operator=(const ScriptedDialogHost&) = delete;

    // Answers, used in the order in which they were queued.
    void answerOk();  // a message box with an OK button, or the plain message window
    void answerYes(); // a Yes/No message box
    void answerNo();
    void answerDismiss();                 // a Yes/No message box closed without an answer (Escape)
    void answerFile(const QString& path); // a file dialog: this one file
    void answerFiles(const QStringList& paths); // an open dialog with multi-select
    void answerFolder(const QString& path);     // a folder question: this folder
    void answerCancel();                        // a file dialog or a folder question: cancelled
    // A modal window: it is shown application-modal, the action runs, and the window
    // is hidden afterwards if the action left it open. Without an action the window
    // is simply closed again (result: a dialog's result, else 0).
    void answerModal(ModalAction action = {});
    void answerHelp(); // a help request

    const std::vector<DialogRecord>& records() const { return records_; }
    // The records of one kind, in order.
    std::vector<DialogRecord> records(DialogRecord::Kind kind) const;
    qsizetype pendingAnswers() const { return static_cast<qsizetype>(answers_.size()); }
    // Fails the test if answers are left; they are dropped.
    void expectAllAnswersUsed();
    void clearRecords() { records_.clear(); }

    int messageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override;
    void showMessage(const QString& text) override;
    bool execute(FileDialog& dialog) override;
    bool selectFolder(QWidget* owner, const QString& caption, QString& folder) override;
    int execModal(QWidget& window) override;
    void help(QWidget* window, const QString& helpFile, unsigned command, quintptr data) override;

private:
    enum class AnswerKind { Ok, Yes, No, Dismiss, Files, Folder, Cancel, Modal, Help };
    struct Answer {
        AnswerKind kind;
        QStringList paths;
        ModalAction action;
    };
    // The next answer if it is one of the accepted kinds; otherwise a test failure.
    bool take(std::initializer_list<AnswerKind> accepted, const DialogRecord& record,
              Answer& answer);
    static QString describe(const DialogRecord& record);
    static const char* answerName(AnswerKind kind);

    std::deque<Answer> answers_;
    std::vector<DialogRecord> records_;
};

// Installs a host for the lifetime of the object and then puts the previous one back.
class ScopedDialogHost {
public:
    explicit ScopedDialogHost(DialogHost& host);
    ~ScopedDialogHost();
    ScopedDialogHost(const ScopedDialogHost&) = delete;
    ScopedDialogHost& operator=(const ScopedDialogHost&) = delete;

private:
    DialogHost* previous_;
};

// Keeps the process's current folder and restores it at the end of a test.
class ScopedCurrentFolder {
public:
    ScopedCurrentFolder();
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    QString folder_;
};

} // namespace vrma::test
