// The desktop host: Qt's message boxes and file dialogs, a modal event loop, and the
// desktop's file viewer for help, or the program's own guide.
#include "platform/DesktopDialogHost.h"

#include "platform/HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QVariant>

namespace vrma {

namespace {

// Ends a modal loop when the watched window is hidden (closing hides it) or destroyed.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(QEventLoop& loop) : loop_(loop) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            auto* widget = static_cast<QWidget*>(watched);
            // A minimised window gets a hide event too but stays visible.
            if (!widget->isVisible())
                loop_.quit();
        }
        return false;
    }

private:
    QEventLoop& loop_;
};

// Notices a message box dismissed rather than answered: Escape, or a close (the title
// bar's button) before any button was pressed. Either also presses the box's escape
// button, so the box itself cannot tell.
class DismissWatcher : public QObject {
public:
    explicit DismissWatcher(QMessageBox& box) : box_(box) {}
    bool dismissed() const { return dismissed_; }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        const bool escape = event->type() == QEvent::KeyPress &&
                            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel);
        const bool closed = event->type() == QEvent::Close && box_.clickedButton() == nullptr;
        dismissed_ = dismissed_ || escape || closed;
        return false;
    }

private:
    QMessageBox& box_;
    bool dismissed_ = false;
};

QString WithSlashes(QString path) {
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace

std::unique_ptr<QMessageBox> CreateMessageBox(QWidget* owner, const QString& text,
                                              const QString& caption, unsigned type) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(caption);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (type & 0xF0u) {
    case MB_ICONERROR:
        box->setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box->setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box->setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box->setIcon(QMessageBox::Information);
        break;
    default:
        box->setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((type & 0x0Fu) == MB_YESNO) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
    }
    return box;
}

std::unique_ptr<QMessageBox> CreatePlainMessage(const QString& text) {
    // No owner: Qt centres a dialog without a parent on the screen.
    return CreateMessageBox(nullptr, text, QStringLiteral("VRMA"), MB_OK);
}

int MessageBoxResult(int standardButton) {
    switch (standardButton) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

int RunMessageBox(QMessageBox& box) {
    DismissWatcher watcher(box);
    box.installEventFilter(&watcher);
    const int result = MessageBoxResult(box.exec());
    box.removeEventFilter(&watcher);
    if (result == IDNO && watcher.dismissed())
        return IDCANCEL;
    return result;
}

QStringList QtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString bracketed = QLatin1Char('(') + patterns + QLatin1Char(')');
        // A description that already shows its patterns is kept as it is.
        if (description.endsWith(bracketed))
            result << description;
        else if (description.isEmpty())
            result << bracketed;
        else
            result << description + QLatin1Char(' ') + bracketed;
    }
    return result;
}

QString QtDefaultSuffix(const QString& defaultExt) {
    QString suffix = defaultExt.trimmed();
    if (suffix.startsWith(QLatin1Char('*')))
        suffix.remove(0, 1);
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    return suffix;
}

void ConfigureFileDialog(QFileDialog& qt, const FileDialog& dialog) {
    if (dialog.isOpen()) {
        qt.setAcceptMode(QFileDialog::AcceptOpen);
        qt.setFileMode(dialog.AllowMultiSelect ? QFileDialog::ExistingFiles
                                               : QFileDialog::ExistingFile);
    } else {
        qt.setAcceptMode(QFileDialog::AcceptSave);
        qt.setFileMode(QFileDialog::AnyFile);
        // The program decides itself what an existing file means.
        qt.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    const QStringList filters = QtNameFilters(dialog.Filter);
    if (!filters.isEmpty())
        qt.setNameFilters(filters);
    qt.setDefaultSuffix(QtDefaultSuffix(dialog.DefaultExt));
    qt.setDirectory(dialog.InitialDir.isEmpty() ? QDir::currentPath() : dialog.InitialDir);
    if (!dialog.FileName.isEmpty())
        qt.selectFile(dialog.FileName);
    qt.setSizeGripEnabled(true);
}

void ConfigureFolderDialog(QFileDialog& qt, const QString& caption, const QString& folder) {
    qt.setWindowTitle(caption);
    qt.setAcceptMode(QFileDialog::AcceptOpen);
    qt.setFileMode(QFileDialog::Directory);
    qt.setOption(QFileDialog::ShowDirsOnly, true);
    qt.setDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
    qt.setSizeGripEnabled(true);
}

QString ResolveHelpFile(const QString& helpFile) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(WithSlashes(helpFile)));
}

QString HelpCaption() {
    return QStringLiteral("Справка");
}

QString HelpFileNotOpenedText(const QString& helpFile) {
    return QStringLiteral("Не удаётся открыть файл справки «%1»: "
                          "для файлов этого типа не назначена программа просмотра.")
        .arg(WithSlashes(helpFile));
}

int DesktopHost::messageBox(QWidget* owner, const QString& text, const QString& caption,
                            unsigned type) {
    const auto box = CreateMessageBox(owner, text, caption, type);
    return RunMessageBox(*box);
}

void DesktopHost::showMessage(const QString& text) {
    CreatePlainMessage(text)->exec();
}

bool DesktopHost::execute(FileDialog& dialog) {
    QFileDialog qt(QApplication::activeWindow());
    ConfigureFileDialog(qt, dialog);
    if (qt.exec() != QDialog::Accepted)
        return false;
    const QStringList files = qt.selectedFiles();
    if (files.isEmpty())
        return false;
    dialog.Files = files;
    dialog.FileName = files.first();
    return true;
}

bool DesktopHost::selectFolder(QWidget* owner, const QString& caption, QString& folder) {
    QFileDialog qt(owner ? owner : QApplication::activeWindow());
    ConfigureFolderDialog(qt, caption, folder);
    if (qt.exec() != QDialog::Accepted || qt.selectedFiles().isEmpty())
        return false;
    folder = qt.selectedFiles().first();
    return true;
}

int DesktopHost::execModal(QWidget& window) {
    if (auto* dialog = qobject_cast<QDialog*>(&window))
        return dialog->exec();

    QPointer<QWidget> guard(&window);
    const Qt::WindowModality modality = window.windowModality();
    window.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    ModalWatcher watcher(loop);
    window.installEventFilter(&watcher);
    QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window.show();
    if (window.isVisible())
        loop.exec(QEventLoop::DialogExec);
    if (!guard)
        return 0;
    window.removeEventFilter(&watcher);
    window.setWindowModality(modality);
    const QVariant result = window.property("ModalResult");
    return result.isValid() ? result.toInt() : 0;
}

void DesktopHost::help(QWidget* window, const QString& helpFile, unsigned /*command*/,
                       quintptr /*data*/) {
    // Only the contents page is asked for: the viewer opens the file at its start.
    const QString path = ResolveHelpFile(helpFile);
    if (!QFileInfo(path).isFile()) {
        showGuide(window);
        return;
    }
    if (!openDocument(path))
        messageBox(window, HelpFileNotOpenedText(helpFile), HelpCaption(), MB_OK | MB_ICONERROR);
}

bool DesktopHost::openDocument(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void DesktopHost::showGuide(QWidget* window) {
    ShowGuide(window);
}

DialogHost& DesktopDialogHost() {
    static DesktopHost host;
    return host;
}

} // namespace vrma
