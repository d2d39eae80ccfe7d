// The board form: its fields laid out in rows or in one line, shown from a board and read
// into one through the board's check.
#include "app/BoardForm.h"

#include "data/Messages.h"
#include "data/Numbers.h"
#include "drawing/FieldSheet.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <array>

namespace vrma {

namespace {

constexpr int kNumberWidth = 60;

// The kinds, in the order of the kind box.
constexpr std::array<TargetKind, 3> kKinds{TargetKind::Chessboard, TargetKind::Dots,
                                           TargetKind::Charuco};

QLineEdit* MakeNumberField(const char* name, const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setFixedWidth(kNumberWidth);
    return field;
}

} // namespace

TBoardForm::TBoardForm(Arrangement arrangement, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BoardForm"));
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    for (const TargetKind kind : kKinds)
        KindBox->addItem(TargetKindName(kind));
    ColumnsEdit = MakeNumberField("ColumnsEdit", QString(), this);
    RowsEdit = MakeNumberField("RowsEdit", QString(), this);
    PitchEdit = MakeNumberField("PitchEdit", QString(), this);
    PitchYEdit = MakeNumberField("PitchYEdit", QString(), this);
    PitchYEdit->setPlaceholderText(QStringLiteral("как по x"));
    MarkerEdit = MakeNumberField("MarkerEdit", QString(), this);
    MarkerEdit->setPlaceholderText(QStringLiteral("¾ шага"));
    DictionaryBox = new QComboBox(this);
    DictionaryBox->setObjectName(QStringLiteral("DictionaryBox"));
    for (int id = 0; !DictionaryName(id).isEmpty(); ++id)
        DictionaryBox->addItem(DictionaryName(id));
    connect(KindBox, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });
    ShowBoard(Board{});

    if (arrangement == Arrangement::Rows) {
        rows_ = new QFormLayout(this);
        rows_->setContentsMargins(0, 0, 0, 0);
        rows_->addRow(QStringLiteral("Мишени:"), KindBox);
        rows_->addRow(QStringLiteral("Количество столбцов:"), ColumnsEdit);
        rows_->addRow(QStringLiteral("Количество строк:"), RowsEdit);
        rows_->addRow(QStringLiteral("Шаг сетки по x (мм):"), PitchEdit);
        rows_->addRow(QStringLiteral("Шаг сетки по y (мм):"), PitchYEdit);
        rows_->addRow(QStringLiteral("Сторона маркера (мм):"), MarkerEdit);
        rows_->addRow(QStringLiteral("Словарь маркеров:"), DictionaryBox);
        return;
    }
    // On one line the dictionary's box is as wide as its usual names (the longest elided
    // while closed; its list shows them whole), so that the camera window fits a screen of
    // 1366 pixels.
    DictionaryBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DictionaryBox->setMinimumContentsLength(13);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(new QLabel(QStringLiteral("Мишени:"), this));
    line->addWidget(KindBox);
    line->addSpacing(8);
    line->addWidget(new QLabel(QStringLiteral("Столбцов:"), this));
    line->addWidget(ColumnsEdit);
    line->addWidget(new QLabel(QStringLiteral("Строк:"), this));
    line->addWidget(RowsEdit);
    line->addSpacing(8);
    line->addWidget(new QLabel(QStringLiteral("Шаг (мм):"), this));
    line->addWidget(PitchEdit);
    line->addWidget(new QLabel(QStringLiteral("по y:"), this));
    line->addWidget(PitchYEdit);
    line->addSpacing(8);
    line->addWidget(new QLabel(QStringLiteral("Маркер:"), this));
    line->addWidget(MarkerEdit);
    line->addWidget(DictionaryBox);
}

void TBoardForm::KindChanged() {
    const bool charuco =
        kKinds[size_t(std::max(0, KindBox->currentIndex()))] == TargetKind::Charuco;
    PitchYEdit->setEnabled(!charuco);
    MarkerEdit->setEnabled(charuco);
    DictionaryBox->setEnabled(charuco);
}

void TBoardForm::ShowBoard(const Board& board) {
    KindBox->setCurrentIndex(
        int(std::find(kKinds.begin(), kKinds.end(), board.kind) - kKinds.begin()));
    ColumnsEdit->setText(QString::number(board.columns));
    RowsEdit->setText(QString::number(board.rows));
    PitchEdit->setText(FormatGeneral15(board.pitch));
    PitchYEdit->setText(board.pitchY == board.pitch ? QString() : FormatGeneral15(board.pitchY));
    const bool charuco = board.kind == TargetKind::Charuco;
    MarkerEdit->setText(!charuco || board.marker == kMarkerShare * board.pitch
                            ? QString()
                            : FormatGeneral15(board.marker));
    DictionaryBox->setCurrentIndex(charuco ? board.dictionary : Board{}.dictionary);
    KindChanged();
}

BoardReading TBoardForm::ReadBoard() const {
    const TargetKind kind = kKinds[size_t(std::max(0, KindBox->currentIndex()))];
    BoardTexts texts{ColumnsEdit->text(), RowsEdit->text(), PitchEdit->text(),
                     std::nullopt,        std::nullopt,     std::nullopt};
    if (kind == TargetKind::Charuco) {
        if (!MarkerEdit->text().trimmed().isEmpty())
            texts.marker = MarkerEdit->text();
        texts.dictionary = DictionaryBox->currentText();
    } else if (!PitchYEdit->text().trimmed().isEmpty()) {
        texts.pitchY = PitchYEdit->text();
    }
    return vrma::ReadBoard(kind, texts);
}

std::optional<Board> TBoardForm::CheckedBoard(QWidget* owner) const {
    const BoardReading reading = ReadBoard();
    if (reading.ok())
        return reading.board;
    MessageBoxA(owner, BoardFaultMessage(reading.fault), messages::ErrorCaption(), MB_OK);
    return std::nullopt;
}

bool TBoardForm::TakeLastBoard() {
    if (!last_ || !last_->board() || last_->version() == taken_)
        return false;
    ShowBoard(*last_->board());
    taken_ = last_->version();
    return true;
}

void TBoardForm::KeepAsLast(const Board& board) {
    if (!last_)
        return;
    last_->Keep(board);
    taken_ = last_->version();
}

} // namespace vrma
