// The calibration command of the calibration window: reads both coordinate files, runs
// the scale-ratio computation and shows what it produced.
#include "app/Alfa_form.h"
#include "calib/ScaleRatio.h"
#include "calib/ScaleRatioLines.h"
#include "calib/ScaleRatioPlot.h"
#include "data/Errors.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "platform/Dialogs.h"
#include "platform/ImageControl.h"

#include <QColor>
#include <QLineEdit>
#include <QPainter>
#include <QRect>
#include <optional>

namespace vrma {

namespace {

qint32 ReadInteger(const QLineEdit* field) {
    const std::optional<qint32> value = ParseInteger(field->text());
    if (!value)
        throw FormatError("the grid size is not an integer");
    return *value;
}

} // namespace

void TAlfaKalibr_Form::N4Click(QObject* /*sender*/) {
    try {
        const qint32 nc = ReadInteger(Edit5);
        const qint32 nr = ReadInteger(Edit3);

        if (!LoadPointLists())
            return; // the reader has told the user

        SetListBoxLines(QStringList());
        SetLastCalibration(std::nullopt);
        Edit8->clear();
        Edit9->clear();
        {
            QPainter canvas(&Image1->Picture());
            canvas.fillRect(QRect(0, 0, Image1->width(), Image1->height()), QColor(255, 255, 255));
        }
        Image1->update();

        const qint64 expected = GridPointCount(nc, nr);
        if (scenePoints->Count() != expected || imagePoints->Count() != expected) {
            MessageBoxA(this, QStringLiteral("Неверное количество столбцов или строк!"),
                        QStringLiteral("Ошибка!"), MB_OK);
            return;
        }

        const ScaleRatioRun run = RunScaleRatio(nc, nr, *scenePoints, *imagePoints);
        if (run.coefficientSet)
            coefficient = run.coefficient;
        DrawScaleRatioPlot(Image1->Picture(), run);
        Image1->update();
        if (run.meanKnown())
            Image2->hide();
        SetListBoxLines(ScaleRatioListLines(run));
        if (run.statisticsKnown()) {
            Edit8->setText(FormatFixed4(run.coefficient));
            Edit9->setText(FormatFixed4(run.sd));
        }
        if (!run.complete())
            throw CalcError("the calibration stopped part-way");
        SetLastCalibration(NodeRatios{nc, nr, run.ratios});
    } catch (const std::exception&) {
        MessageBoxA(this, QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные."),
                    QStringLiteral("Ошибка!"), MB_OK);
    }
}

} // namespace vrma
