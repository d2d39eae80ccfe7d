#pragma once
// A dialog host that answers every message box with OK and records it; any other
// dialog fails the test. For code whose only dialog is an error message box.
#include "platform/Dialogs.h"

#include <QString>
#include <gtest/gtest.h>
#include <vector>

namespace vrma::test {

class RecordingHost : public DialogHost {
public:
    struct Box {
        QWidget* owner;
        QString text;
        QString caption;
        unsigned type;
    };
    std::vector<Box> boxes;

    int messageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned type) override {
        boxes.push_back({owner, text, caption, type});
        return IDOK;
    }
    void showMessage(const QString& text) override {
        ADD_FAILURE() << "unexpected message " << text.toStdString();
    }
    bool execute(FileDialog&) override {
        ADD_FAILURE() << "unexpected file dialog";
        return false;
    }
    bool selectFolder(QWidget*, const QString&, QString&) override {
        ADD_FAILURE() << "unexpected folder question";
        return false;
    }
    int execModal(QWidget&) override {
        ADD_FAILURE() << "unexpected modal window";
        return 0;
    }
    void help(QWidget*, const QString&, unsigned, quintptr) override {
        ADD_FAILURE() << "unexpected help";
    }
};

} // namespace vrma::test
