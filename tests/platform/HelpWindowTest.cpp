// The program's guide: where it is found, that its pages and links hold together, and
// the help window that shows it.
#include "platform/HelpWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <gtest/gtest.h>
#include <set>

using namespace vrma;

namespace {

QString ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void DeleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(Guide, FoundBesideTheProgramOrElseBuiltIn) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    EXPECT_EQ(GuideContentsUrl(folder.path()), QUrl(QStringLiteral("qrc:/VRMAHelp/index.html")));

    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("VRMAHelp")));
    QFile page(folder.filePath(QStringLiteral("VRMAHelp/index.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>x</title></head></html>");
    page.close();
    const QUrl beside = GuideContentsUrl(folder.path());
    EXPECT_TRUE(beside.isLocalFile());
    EXPECT_EQ(QDir(beside.toLocalFile()).canonicalPath(),
              QDir(folder.filePath(QStringLiteral("VRMAHelp/index.html"))).canonicalPath());
}

TEST(Guide, BuiltInPagesAreTheSourcePagesAndEveryLinkLeadsToAPage) {
    // The copy built into the program is the guide of the source tree.
    const QDir source(QStringLiteral(VRMA_SOURCE_DIR "/VRMAHelp"));
    const QStringList pages = source.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_GE(pages.size(), 7);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));

    const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)\""));
    const QRegularExpression title(QStringLiteral("<title>([^<]+)</title>"));
    std::set<QString> linked;
    for (const QString& name : pages) {
        SCOPED_TRACE(name.toStdString());
        const QString text = ReadAll(QStringLiteral(":/VRMAHelp/") + name);
        EXPECT_EQ(text, ReadAll(source.filePath(name)));
        EXPECT_TRUE(title.match(text).hasMatch());
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(QStringLiteral(":/VRMAHelp/") + target))
                << target.toStdString();
            linked.insert(target);
        }
    }
    // The contents page reaches every page, and every page leads back to it.
    const QString contents = ReadAll(QStringLiteral(":/VRMAHelp/index.html"));
    for (const QString& name : pages) {
        if (name == QStringLiteral("index.html"))
            continue;
        EXPECT_TRUE(contents.contains(QStringLiteral("href=\"%1\"").arg(name)))
            << name.toStdString();
        EXPECT_TRUE(ReadAll(QStringLiteral(":/VRMAHelp/") + name)
                        .contains(QStringLiteral("href=\"index.html\"")))
            << name.toStdString();
    }
}

TEST(HelpWindow, OpensAtTheContentsAndFollowsLinks) {
    THelpForm* window = ShowGuide(nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GuideWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Содержание"));
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Справка VRMA")));
    EXPECT_FALSE(window->BackButton->isEnabled());

    // A link of the contents page, as a click on it follows it.
    window->Browser->setSource(QUrl(QStringLiteral("analysis.html")));
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Анализ по узлам"));
    EXPECT_TRUE(window->Browser->toPlainText().contains(QStringLiteral("1,4826")));
    EXPECT_TRUE(window->BackButton->isEnabled());
    window->BackButton->click();
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Содержание"));
    window->ForwardButton->click();
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Анализ по узлам"));
    window->ContentsButton->click();
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Содержание"));

    // Asked again, the same window comes back at its contents page.
    window->Browser->setSource(QUrl(QStringLiteral("batch.html")));
    EXPECT_EQ(ShowGuide(nullptr), window);
    EXPECT_EQ(window->Browser->documentTitle(), QStringLiteral("Содержание"));

    window->close();
    DeleteClosedWindows();
    EXPECT_EQ(GuideWindow(), nullptr);
}

} // namespace
