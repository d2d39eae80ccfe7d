#pragma once
// The program's fixed message texts and captions, in one place: the windows show them in
// message boxes, vrma-calib prints them on standard error. (The words of a camera's
// calibration and of the field check are data/CameraMessages.h.)
#include <QString>

namespace vrma::messages {

QString ErrorCaption();
QString WarningCaption();
QString CameraFileCaption();

// The coordinate-file reader's message, for the scene file and the image file alike.
QString ReadFailed();
QString CountMismatch();
QString CalculationFailed();
QString InternalError();
QString WriteFailed();

// The export after a calculation that stopped while summing: the coefficient is no mean.
QString NoCoefficientToSave();

QString SaveIntoExistingTable();
QString TableSavedMakeCamera();
QString Overwrite();
QString NotSavedSave();

// Target detection in a photograph of the test field.
QString PhotoUnreadable();
QString GridNotFound();
// The grid was seen, but not as asked for or not so that it can be used: what was seen.
// A whole grid of another size (its columns and rows as the user would count them).
QString GridOfOtherSize(int seenColumns, int seenRows, int columns, int rows, bool chessboard);
QString GridPartlyOutside();
// Found, but at about 45 degrees: no axis of the board runs along image x, as the
// calibration of one photograph needs.
QString GridTurnedAslant();
// A photograph in a format that is not read; format names it ("GIF", "HDR (Radiance)").
QString PhotoFormatNotRead(const QString& format);
// A photograph larger than the largest read (its size and the limit in megapixels).
QString PhotoTooLarge(qint64 width, qint64 height, qint64 megapixels);
// A photograph that would take more memory than the computer has free (in megabytes).
QString PhotoOutOfMemory(qint64 width, qint64 height, qint64 neededMb, qint64 freeMb);

// What the export wrote, a line a file, as the reports tell it ("Таблица коррекции:
// /path/t.tab"): the window's "Сохранить" and vrma-calib alike.
QString WrittenTableLine(const QString& fileName);
QString WrittenCameraLine(const QString& fileName);

// The files of the export: a size text that is no integer, a table without a line.
QString NotAnInteger(const QString& text);
QString TableHasNoLine();

// The header line of the node analysis's CSV file.
QString NodeAnalysisCsvHeader();

// A search for the targets stopped on request.
QString SearchStopped();

// A save dialog's choice that is a file the window reads or writes besides (role: what
// that file is to the user, "снимок", "файл координат сцены").
QString SameFileChosen(const QString& file, const QString& role);

} // namespace vrma::messages
