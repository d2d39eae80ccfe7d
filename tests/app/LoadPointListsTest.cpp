// The input step of the calibration: scene file first, the image file only after it.
#include "app/Alfa_form.h"
#include "support/ScriptedDialogHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

namespace {

QString WriteLines(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

} // namespace

TEST(LoadPointLists, ReadsTheSceneThenTheImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    TAlfaKalibr_Form form;
    form.sceneFileName = WriteLines(dir, QStringLiteral("s.crd"), "0;0\r\n10;0\r\n10;20\r\n");
    form.imageFileName = WriteLines(dir, QStringLiteral("i.crd"), "1;2\r\n3;4\r\n");
    ASSERT_TRUE(form.LoadPointLists());
    ASSERT_EQ(form.scenePoints->Count(), 3);
    ASSERT_EQ(form.imagePoints->Count(), 2);
    EXPECT_EQ(form.scenePoints->Get(2)->X, 10.0);
    EXPECT_EQ(form.scenePoints->Get(2)->Y, 20.0);
    EXPECT_EQ(form.imagePoints->Get(1)->X, 3.0);
    EXPECT_TRUE(host.records().empty());
}

TEST(LoadPointLists, FailedSceneFileLeavesTheImageUnread) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);
    TAlfaKalibr_Form form;
    form.sceneFileName = WriteLines(dir, QStringLiteral("s.crd"), "0;0\r\n");
    form.imageFileName = WriteLines(dir, QStringLiteral("i.crd"), "1;2\r\n");
    ASSERT_TRUE(form.LoadPointLists());

    form.sceneFileName = dir.filePath(QStringLiteral("missing.crd"));
    host.answerOk();
    EXPECT_FALSE(form.LoadPointLists());
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Ошибка чтения файла сцены!"));
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
    EXPECT_EQ(form.scenePoints->Count(), 0);
    // The image list still holds the points of the file read last.
    EXPECT_EQ(form.imagePoints->Count(), 1);

    // A failing image file after a good scene file.
    form.sceneFileName = WriteLines(dir, QStringLiteral("s2.crd"), "5;6\r\n");
    form.imageFileName = WriteLines(dir, QStringLiteral("bad.crd"), "1;2\r\nx;y\r\n");
    host.answerOk();
    EXPECT_FALSE(form.LoadPointLists());
    EXPECT_EQ(form.scenePoints->Count(), 1);
    EXPECT_EQ(form.imagePoints->Count(), 1); // the line before the failing one
    EXPECT_EQ(host.records().size(), 2u);
}
