#pragma once
// The program's own user guide (HTML pages in the folder VRMAHelp) in a help window.
// The guide lies beside the program or where the installation put it; a copy built into
// the program serves when neither holds it.
#include <QString>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace vrma {

// The contents page of the guide: <programFolder>/VRMAHelp/index.html when it exists (a
// build folder), else <programFolder>/../share/vrma/VRMAHelp/index.html (an installed
// program), otherwise the built-in copy, qrc:/VRMAHelp/index.html.
QUrl GuideContentsUrl(const QString& programFolder);
// The same for the folder of the running program.
QUrl GuideContentsUrl();

// A modeless window with the guide: buttons for the contents page, back and forward,
// and the pages, whose links lead from one to another.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(const QUrl& contents, QWidget* parent = nullptr);

    QTextBrowser* Browser = nullptr;
    QPushButton* ContentsButton = nullptr; // "Содержание"
    QPushButton* BackButton = nullptr;     // "Назад"
    QPushButton* ForwardButton = nullptr;  // "Вперёд"

    // Opens the contents page.
    void ShowContents();
    QUrl contents() const { return contents_; }

private:
    QUrl contents_;
};

// Shows the guide at its contents page in the one help window, made on first use (a
// window of the owner's window when there is one, so that it goes with it) and kept
// until it is closed. Returns it.
THelpForm* ShowGuide(QWidget* owner);
// The help window while it is open, else nullptr.
THelpForm* GuideWindow();

} // namespace vrma
