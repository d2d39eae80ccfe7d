#include "ScriptedDialogHost.h"

#include <QDialog>
#include <QDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace vrma::test {

const char* KindName(DialogRecord::Kind kind) {
    switch (kind) {
    case DialogRecord::Kind::MessageBox:
        return "message box";
    case DialogRecord::Kind::ShowMessage:
        return "plain message";
    case DialogRecord::Kind::FileDialog:
        return "file dialog";
    case DialogRecord::Kind::Folder:
        return "folder question";
    case DialogRecord::Kind::Modal:
        return "modal window";
    case DialogRecord::Kind::Help:
        return "help";
    }
    return "?";
}

ScriptedDialogHost::~ScriptedDialogHost() {
    expectAllAnswersUsed();
}

void ScriptedDialogHost::answerOk() {
    answers_.push_back({AnswerKind::Ok, {}, {}});
}
void ScriptedDialogHost::answerYes() {
    answers_.push_back({AnswerKind::Yes, {}, {}});
}
void ScriptedDialogHost::answerNo() {
    answers_.push_back({AnswerKind::No, {}, {}});
}
void ScriptedDialogHost::answerDismiss() {
    answers_.push_back({AnswerKind::Dismiss, {}, {}});
}
void ScriptedDialogHost::answerFile(const QString& path) {
    answers_.push_back({AnswerKind::Files, {path}, {}});
}
void ScriptedDialogHost::answerFiles(const QStringList& paths) {
    answers_.push_back({AnswerKind::Files, paths, {}});
}
void ScriptedDialogHost::answerFolder(const QString& path) {
    answers_.push_back({AnswerKind::Folder, {path}, {}});
}
void ScriptedDialogHost::answerCancel() {
    answers_.push_back({AnswerKind::Cancel, {}, {}});
}
void ScriptedDialogHost::answerModal(ModalAction action) {
    answers_.push_back({AnswerKind::Modal, {}, std::move(action)});
}
void ScriptedDialogHost::answerHelp() {
    answers_.push_back({AnswerKind::Help, {}, {}});
}

std::vector<DialogRecord> ScriptedDialogHost::records(DialogRecord::Kind kind) const {
    std::vector<DialogRecord> result;
    for (const DialogRecord& record : records_)
        if (record.kind == kind)
            result.push_back(record);
    return result;
}

void ScriptedDialogHost::expectAllAnswersUsed() {
    if (answers_.empty())
        return;
    QStringList left;
    for (const Answer& answer : answers_)
        left << QString::fromLatin1(answerName(answer.kind));
    ADD_FAILURE() << "Queued dialog answers were never used: "
                  << left.join(QStringLiteral(", ")).toStdString();
    answers_.clear();
}

const char* ScriptedDialogHost::answerName(AnswerKind kind) {
    switch (kind) {
    case AnswerKind::Ok:
        return "OK";
    case AnswerKind::Yes:
        return "Yes";
    case AnswerKind::No:
        return "No";
    case AnswerKind::Dismiss:
        return "dismiss";
    case AnswerKind::Files:
        return "file";
    case AnswerKind::Folder:
        return "folder";
    case AnswerKind::Cancel:
        return "cancel";
    case AnswerKind::Modal:
        return "modal";
    case AnswerKind::Help:
        return "help";
    }
    return "?";
}

QString ScriptedDialogHost::describe(const DialogRecord& record) {
    QString text = QString::fromLatin1(KindName(record.kind));
    if (!record.caption.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(record.caption);
    if (!record.text.isEmpty())
        text += QStringLiteral(": %1").arg(record.text);
    if (!record.filter.isEmpty())
        text += QStringLiteral(" filter %1").arg(record.filter);
    if (!record.objectName.isEmpty() || !record.className.isEmpty())
        text += QStringLiteral(" %1 (%2)").arg(record.objectName, record.className);
    return text;
}

bool ScriptedDialogHost::take(std::initializer_list<AnswerKind> accepted,
                              const DialogRecord& record, Answer& answer) {
    if (answers_.empty()) {
        ADD_FAILURE() << "Nothing was queued for the " << describe(record).toStdString();
        return false;
    }
    for (AnswerKind kind : accepted) {
        if (answers_.front().kind == kind) {
            answer = std::move(answers_.front());
            answers_.pop_front();
            return true;
        }
    }
    ADD_FAILURE() << "The next queued answer (" << answerName(answers_.front().kind)
                  << ") does not fit the " << describe(record).toStdString();
    answers_.pop_front();
    return false;
}

int ScriptedDialogHost::messageBox(QWidget* owner, const QString& text, const QString& caption,
                                   unsigned type) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::MessageBox;
    record.text = text;
    record.caption = caption;
    record.type = type;
    record.hasOwner = owner != nullptr;
    record.ownerName = owner ? owner->objectName() : QString();
    records_.push_back(record);

    const bool yesNo = (type & 0x0Fu) == MB_YESNO;
    Answer answer;
    if (yesNo) {
        if (!take({AnswerKind::Yes, AnswerKind::No, AnswerKind::Dismiss}, record, answer))
            return IDNO;
        switch (answer.kind) {
        case AnswerKind::Yes:
            return IDYES;
        case AnswerKind::Dismiss:
            return IDCANCEL;
        default:
            return IDNO;
        }
    }
    take({AnswerKind::Ok}, record, answer);
    return IDOK;
}

void ScriptedDialogHost::showMessage(const QString& text) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::ShowMessage;
    record.text = text;
    record.caption = QStringLiteral("VRMA");
    records_.push_back(record);
    Answer answer;
    take({AnswerKind::Ok}, record, answer);
}

bool ScriptedDialogHost::execute(FileDialog& dialog) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::FileDialog;
    record.filter = dialog.Filter;
    record.defaultExt = dialog.DefaultExt;
    record.fileName = dialog.FileName;
    record.initialDir = dialog.InitialDir;
    record.openDialog = dialog.isOpen();
    record.multiSelect = dialog.AllowMultiSelect;
    records_.push_back(record);

    Answer answer;
    if (!take({AnswerKind::Files, AnswerKind::Cancel}, record, answer))
        return false;
    if (answer.kind == AnswerKind::Cancel)
        return false;
    if (answer.paths.isEmpty()) {
        ADD_FAILURE() << "A file dialog answer needs at least one path";
        return false;
    }
    if (answer.paths.size() > 1 && !(dialog.isOpen() && dialog.AllowMultiSelect)) {
        ADD_FAILURE() << "Several files were queued for a dialog that takes one: "
                      << describe(record).toStdString();
        return false;
    }
    dialog.Files = answer.paths;
    dialog.FileName = answer.paths.first();
    return true;
}

bool ScriptedDialogHost::selectFolder(QWidget* owner, const QString& caption, QString& folder) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::Folder;
    record.caption = caption;
    record.initialDir = folder;
    record.hasOwner = owner != nullptr;
    record.ownerName = owner ? owner->objectName() : QString();
    records_.push_back(record);

    Answer answer;
    if (!take({AnswerKind::Folder, AnswerKind::Cancel}, record, answer) ||
        answer.kind == AnswerKind::Cancel)
        return false;
    folder = answer.paths.first();
    return true;
}

int ScriptedDialogHost::execModal(QWidget& window) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::Modal;
    record.objectName = window.objectName();
    record.className = QString::fromLatin1(window.metaObject()->className());
    records_.push_back(record);

    Answer answer;
    if (!take({AnswerKind::Modal}, record, answer))
        return 0;
    auto* dialog = qobject_cast<QDialog*>(&window);
    if (dialog)
        dialog->setResult(0);
    const Qt::WindowModality modality = window.windowModality();
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    int result = 0;
    if (answer.action)
        result = answer.action(window);
    else if (dialog)
        dialog->reject();
    if (window.isVisible())
        window.hide();
    window.setWindowModality(modality);
    if (dialog && !answer.action)
        result = dialog->result();
    return result;
}

void ScriptedDialogHost::help(QWidget* window, const QString& helpFile, unsigned command,
                              quintptr data) {
    DialogRecord record;
    record.kind = DialogRecord::Kind::Help;
    record.text = helpFile;
    record.command = command;
    record.data = data;
    record.hasOwner = window != nullptr;
    record.ownerName = window ? window->objectName() : QString();
    records_.push_back(record);
    Answer answer;
    take({AnswerKind::Help}, record, answer);
}

ScopedDialogHost::ScopedDialogHost(DialogHost& host) : previous_(SetDialogHost(&host)) {}

ScopedDialogHost::~ScopedDialogHost() {
    SetDialogHost(previous_);
}

ScopedCurrentFolder::ScopedCurrentFolder() : folder_(QDir::currentPath()) {}

ScopedCurrentFolder::~ScopedCurrentFolder() {
    QDir::setCurrent(folder_);
}

} // namespace vrma::test
