// Placeholder until the desktop host lands.
#include "platform/Dialogs.h"

namespace vrma {

namespace {
class NullHost : public DialogHost {
public:
    int messageBox(QWidget*, const QString&, const QString&, unsigned) override { return IDOK; }
    void showMessage(const QString&) override {}
    bool execute(FileDialog&) override { return false; }
    int execModal(QWidget&) override { return 0; }
    void help(QWidget*, const QString&, unsigned, quintptr) override {}
};
} // namespace

DialogHost& DesktopDialogHost() {
    static NullHost host;
    return host;
}

} // namespace vrma
