#include "app/AboutBox.h"

#include "platform/ImageControl.h"
#include "platform/WindowFont.h"

#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace vrma {

TVRMAAboutBox::TVRMAAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VRMAAboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setFont(DesignFont());
    setFixedSize(316, 193);
    setModal(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(8, 8, 300, 135);

    ProgramIcon = new TImage(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(10, 10, 80, 70);
    ProgramIcon->SetPicture(QImage(QStringLiteral(":/assets/icon.png")));

    ProductName = new QLabel(QStringLiteral("VRMA"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setGeometry(106, 18, 180, 24);
    QFont nameFont = ProductName->font();
    nameFont.setBold(true);
    ProductName->setFont(nameFont);

    Version = new QLabel(QStringLiteral("Version 1.0.0"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(106, 48, 180, 22);

    Copyright = new QLabel(QStringLiteral("2003"), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setGeometry(10, 96, 276, 22);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(112, 153, 92, 30);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TVRMAAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window.
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace vrma
