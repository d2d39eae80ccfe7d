// The window of the printable test field: its fields, and the command that writes the
// PDF and the scene file through two save dialogs.
#include "app/FieldSheetDialog.h"

#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "drawing/FieldSheet.h"
#include "platform/Application.h"
#include "platform/WindowFont.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

namespace vrma {

namespace {

QLineEdit* MakeNumberField(const char* name, const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setFixedWidth(60);
    return field;
}

// The file beside another, under the same base name with another extension.
QString Beside(const QString& file, const QString& extension) {
    const QFileInfo info(file);
    return info.dir().filePath(info.completeBaseName() + extension);
}

// Asks before an existing file is replaced: true when it may be written.
bool MayWrite(QWidget* owner, const QString& file) {
    return !QFileInfo::exists(file) ||
           MessageBoxA(owner, messages::Overwrite(), messages::WarningCaption(), MB_YESNO) == IDYES;
}

} // namespace

TFieldSheetForm::TFieldSheetForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FieldSheetForm"));
    setWindowTitle(QStringLiteral("Тест-поле для печати"));
    setFont(DesignFont());

    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    KindBox->addItem(QStringLiteral("шахматная доска"));
    KindBox->addItem(QStringLiteral("точки"));
    ColumnsEdit = MakeNumberField("ColumnsEdit", QStringLiteral("9"), this);
    RowsEdit = MakeNumberField("RowsEdit", QStringLiteral("6"), this);
    PitchEdit = MakeNumberField("PitchEdit", QStringLiteral("20"), this);
    PitchYEdit = MakeNumberField("PitchYEdit", QString(), this);
    PitchYEdit->setPlaceholderText(QStringLiteral("как по x"));
    PageBox = new QComboBox(this);
    PageBox->setObjectName(QStringLiteral("PageBox"));
    PageBox->addItem(QStringLiteral("A4"));
    PageBox->addItem(QStringLiteral("A3"));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);
    CreateButton = new QPushButton(QStringLiteral("Создать…"), this);
    CreateButton->setObjectName(QStringLiteral("CreateButton"));
    CreateButton->setToolTip(QStringLiteral("Записать поле в PDF и файл координат сцены"));
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Мишени:"), KindBox);
    form->addRow(QStringLiteral("Количество столбцов:"), ColumnsEdit);
    form->addRow(QStringLiteral("Количество строк:"), RowsEdit);
    form->addRow(QStringLiteral("Шаг сетки по x (мм):"), PitchEdit);
    form->addRow(QStringLiteral("Шаг сетки по y (мм):"), PitchYEdit);
    form->addRow(QStringLiteral("Лист:"), PageBox);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CreateButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    SaveFieldDialog.Filter = QStringLiteral("PDF Files|*.pdf|All Files|*.*");
    SaveFieldDialog.DefaultExt = QStringLiteral("pdf");
    SaveFieldDialog.FileName = QStringLiteral("Field1");
    SaveSceneDialog.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    SaveSceneDialog.DefaultExt = QStringLiteral("*.crd");

    ConnectCommand(CreateButton, &QPushButton::clicked, this,
                   [this] { CreateButtonClick(CreateButton); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TFieldSheetForm::CreateButtonClick(QObject* /*sender*/) {
    FieldSheet sheet;
    sheet.kind = KindBox->currentIndex() == 1 ? TargetKind::Dots : TargetKind::Chessboard;
    sheet.page = PageBox->currentIndex() == 1 ? SheetPage::A3 : SheetPage::A4;
    const std::optional<qint32> columns = ParseInteger(ColumnsEdit->text());
    const std::optional<qint32> rows = ParseInteger(RowsEdit->text());
    const std::optional<double> pitch = ParseRealDouble(PitchEdit->text());
    const std::optional<double> pitchY =
        PitchYEdit->text().trimmed().isEmpty() ? pitch : ParseRealDouble(PitchYEdit->text());
    if (!columns || !rows || !pitch || !pitchY) {
        MessageBoxA(this,
                    QStringLiteral("Число столбцов и строк должно быть целым, шаг сетки — числом."),
                    messages::ErrorCaption(), MB_OK);
        return false;
    }
    sheet.columns = *columns;
    sheet.rows = *rows;
    sheet.pitch = *pitch;
    sheet.pitchY = *pitchY;

    // The field is drawn before any name is asked: one that does not fit asks nothing.
    QByteArray pdf;
    QByteArray scene;
    try {
        pdf = FieldSheetPdf(sheet);
        scene =
            EncodeTextLines(SceneFileLines(sheet.columns, sheet.rows, sheet.pitch, sheet.pitchY));
    } catch (const FieldSheetError& error) {
        MessageBoxA(this, QString::fromUtf8(error.what()), messages::ErrorCaption(), MB_OK);
        return false;
    }

    if (!SaveFieldDialog.Execute())
        return false;
    const QString pdfFile = SaveFieldDialog.FileName;
    if (!MayWrite(this, pdfFile))
        return false;
    SaveSceneDialog.FileName = Beside(pdfFile, QStringLiteral(".crd"));
    if (!SaveSceneDialog.Execute())
        return false;
    const QString sceneFile = SaveSceneDialog.FileName;
    if (!MayWrite(this, sceneFile))
        return false;
    try {
        WriteFileAtomically(pdfFile, pdf);
        WriteFileAtomically(sceneFile, scene);
    } catch (const std::exception&) {
        MessageBoxA(this, messages::WriteFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
    StatusLabel->setText(QStringLiteral("Записаны: %1 и %2. Печатайте в масштабе 100 %.")
                             .arg(QFileInfo(pdfFile).fileName(), QFileInfo(sceneFile).fileName()));
    return true;
}

} // namespace vrma
