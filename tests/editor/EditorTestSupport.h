#pragma once
// The fixture of the editor tests: the scripted dialog host installed, a temporary
// folder for files, comma settings, and no editor window left behind.
#include "editor/Edit.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "support/ScriptedDialogHost.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vrma::test {

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        SetDecimalSeparator(QLatin1Char(','));
    }
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

    // A fresh editor window with a document opened (1 expected).
    TRedForm* Open(const QString& name, int kind) {
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(name, kind), 1);
        return w;
    }

    QTemporaryDir dir_;
    ScriptedDialogHost host;
    ScopedDialogHost installed{host};
};

} // namespace vrma::test
