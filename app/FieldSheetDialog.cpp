// The window of the printable test field: its fields, and the command that writes the
// PDF and the scene file through two save dialogs.
#include "app/FieldSheetDialog.h"
#include "app/SaveClash.h"

#include "data/Messages.h"
#include "data/PointFileWriter.h"
#include "data/TextFile.h"
#include "drawing/FieldSheet.h"
#include "drawing/PdfMemory.h"
#include "platform/Application.h"
#include "platform/WindowFont.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <new>
#include <optional>

namespace vrma {

namespace {

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

    BoardForm = new TBoardForm(TBoardForm::Arrangement::Rows, this);
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

    BoardForm->rows()->addRow(QStringLiteral("Лист:"), PageBox);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CreateButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BoardForm);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    SaveFieldDialog.Filter = QStringLiteral("Файлы PDF|*.pdf|Все файлы|*.*");
    SaveFieldDialog.DefaultExt = QStringLiteral("pdf");
    SaveFieldDialog.FileName = QStringLiteral("Field1");
    SaveSceneDialog.Filter = QStringLiteral("Файлы координат (*.crd)|*.crd");
    SaveSceneDialog.DefaultExt = QStringLiteral("*.crd");

    ConnectCommand(CreateButton, &QPushButton::clicked, this,
                   [this] { CreateButtonClick(CreateButton); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TFieldSheetForm::CreateButtonClick(QObject* /*sender*/) {
    const std::optional<Board> board = BoardForm->CheckedBoard(this);
    if (!board)
        return false;
    const FieldSheet sheet{*board, PageBox->currentIndex() == 1 ? SheetPage::A3 : SheetPage::A4};

    // The field is drawn before any name is asked: one that does not fit asks nothing.
    QByteArray pdf;
    QByteArray scene;
    try {
        pdf = PaintPdf([&sheet] { return FieldSheetPdf(sheet); }, PdfItems(sheet));
        scene = EncodePointFile(SceneGrid(sheet));
    } catch (const FieldSheetError& error) {
        MessageBoxA(this, QString::fromUtf8(error.what()), messages::ErrorCaption(), MB_OK);
        return false;
    } catch (const std::bad_alloc&) {
        MessageBoxA(this, messages::OutOfMemory(), messages::ErrorCaption(), MB_OK);
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
    if (!NotAnyOf(this, sceneFile, {{QStringLiteral("PDF тест-поля"), pdfFile}}) ||
        !MayWrite(this, sceneFile))
        return false;
    try {
        WriteFilePair(pdfFile, pdf, sceneFile, scene);
    } catch (const std::bad_alloc&) {
        MessageBoxA(this, messages::OutOfMemory(), messages::ErrorCaption(), MB_OK);
        return false;
    } catch (const std::exception&) {
        MessageBoxA(this, messages::WriteFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
    BoardForm->KeepAsLast(sheet);
    StatusLabel->setText(QStringLiteral("Записаны: %1 и %2. Печатайте в масштабе 100 %.")
                             .arg(QFileInfo(pdfFile).fileName(), QFileInfo(sceneFile).fileName()));
    return true;
}

} // namespace vrma
