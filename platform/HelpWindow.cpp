#include "platform/HelpWindow.h"

#include "data/ProgramFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vrma {

namespace {

QPointer<THelpForm> g_guide;

} // namespace

QUrl GuideContentsUrl(const QString& programFolder) {
    const QString page = FindProgramFile(programFolder, QStringLiteral("VRMAHelp/index.html"));
    if (!page.isEmpty() && QFileInfo(page).isFile())
        return QUrl::fromLocalFile(page);
    return QUrl(QStringLiteral("qrc:/VRMAHelp/index.html"));
}

QUrl GuideContentsUrl() {
    return GuideContentsUrl(QCoreApplication::applicationDirPath());
}

THelpForm::THelpForm(const QUrl& contents, QWidget* parent)
    : QWidget(parent, Qt::Window), contents_(contents) {
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("Справка VRMA"));

    ContentsButton = new QPushButton(QStringLiteral("Содержание"), this);
    ContentsButton->setObjectName(QStringLiteral("ContentsButton"));
    BackButton = new QPushButton(QStringLiteral("Назад"), this);
    BackButton->setObjectName(QStringLiteral("BackButton"));
    ForwardButton = new QPushButton(QStringLiteral("Вперёд"), this);
    ForwardButton->setObjectName(QStringLiteral("ForwardButton"));
    BackButton->setEnabled(false);
    ForwardButton->setEnabled(false);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ContentsButton);
    buttons->addWidget(BackButton);
    buttons->addWidget(ForwardButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(Browser, 1);

    connect(ContentsButton, &QPushButton::clicked, this, &THelpForm::ShowContents);
    connect(BackButton, &QPushButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardButton, &QPushButton::clicked, Browser, &QTextBrowser::forward);
    connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QWidget::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QWidget::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Справка VRMA")
                                       : QStringLiteral("Справка VRMA — ") + title);
    });

    resize(780, 620);
    ShowContents();
}

void THelpForm::ShowContents() {
    if (Browser->source() == contents_)
        Browser->reload();
    else
        Browser->setSource(contents_);
}

THelpForm* ShowGuide(QWidget* owner) {
    if (!g_guide) {
        g_guide = new THelpForm(GuideContentsUrl(), owner ? owner->window() : nullptr);
        g_guide->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        g_guide->ShowContents();
    }
    g_guide->show();
    g_guide->raise();
    g_guide->activateWindow();
    return g_guide;
}

THelpForm* GuideWindow() {
    return g_guide;
}

} // namespace vrma
