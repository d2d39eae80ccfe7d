#pragma once
// The memory a PDF document is painted in.
//
// Qt's PDF engine does not survive running out of memory: an allocation that fails while
// it writes a page or embeds a font ends the process (thrown from the painter's destructor,
// or a null pointer written to). A document is therefore painted only when the memory it
// may take is free, and otherwise refused with std::bad_alloc before painting begins, which
// the windows and vrma-calib tell as running out of memory.
#include "drawing/CameraReport.h"
#include "drawing/FieldSheet.h"
#include "drawing/ScaleRatioReport.h"

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace vrma {

// What painting a document may take beyond what is free when it begins: the fonts loaded
// and embedded, the pages drawn and compressed, the document itself (measured: a report of
// 30 photographs, or a test field on A3, some 40 MB; a report of a million nodes some
// 700 MB), with room to spare: kPdfMemory, and kPdfMemoryPerItem for every item of which
// a document may hold many (a node of the ratio table, a target of the coverage view).
inline constexpr std::int64_t kPdfMemory = std::int64_t{96} << 20;
inline constexpr std::int64_t kPdfMemoryPerItem = 2048;

// The items of the documents that grow with their data.
std::int64_t PdfItems(const ScaleRatioReport& report);
std::int64_t PdfItems(const CameraReport& report);
std::int64_t PdfItems(const FieldSheet& sheet);

// Throws std::bad_alloc when less memory is free (calib/Photograph: AvailableMemory, within
// the process's limits) than a document of that many items may take.
void CheckPdfMemory(std::int64_t items);

// paint() once CheckPdfMemory(items) has passed; its document.
QByteArray PaintPdf(const std::function<QByteArray()>& paint, std::int64_t items);

} // namespace vrma
