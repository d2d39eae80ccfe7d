#include "drawing/PdfMemory.h"

#include "calib/Photograph.h"

#include <new>

namespace vrma {

namespace {

// A photograph of a camera's report: its thumbnail and its line, as so many items.
constexpr std::int64_t kItemsPerPhoto = 512;

} // namespace

std::int64_t PdfItems(const ScaleRatioReport& report) {
    return std::int64_t(report.run.ratios.size());
}

std::int64_t PdfItems(const CameraReport& report) {
    std::int64_t items = 0;
    for (const PhotoDetection& photo : report.photos)
        items += kItemsPerPhoto + std::int64_t(photo.points());
    return items;
}

std::int64_t PdfItems(const FieldSheet& sheet) {
    return std::int64_t(sheet.columns + 1) * (sheet.rows + 1);
}

void CheckPdfMemory(std::int64_t items) {
    if (AvailableMemory() < kPdfMemory + kPdfMemoryPerItem * items)
        throw std::bad_alloc();
}

QByteArray PaintPdf(const std::function<QByteArray()>& paint, std::int64_t items) {
    CheckPdfMemory(items);
    return paint();
}

} // namespace vrma
