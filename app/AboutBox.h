#pragma once
// The about box: program icon, name, version and year; the OK button closes it.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace vrma {

class TImage;

class TVRMAAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TVRMAAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    TImage* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace vrma
