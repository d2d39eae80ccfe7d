#include "data/Data_structures.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <new>
#include <utility>

namespace vrma {

namespace {

// A pixel coordinate from a real, truncated toward zero.
int TruncatedPixel(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        throw CalcError("Point coordinate beyond the range of the canvas in VT_Point::Draw");
    return static_cast<int>(value);
}

// Corners further out than this lie far outside any canvas; they are pulled in so that
// widths stay within the integer range. What is visible does not change.
constexpr int kFarOut = 1 << 29;

} // namespace

void VT_Point::Draw(QPainter& canvas, int originX, int originY, double scaleX, double scaleY) {
    const int left = TruncatedPixel((Y - originY) * scaleY);
    const int top = TruncatedPixel((X - originX) * scaleX);
    const int right = TruncatedPixel((Y - originY + 1) * scaleY);
    const int bottom = TruncatedPixel((X - originX + 1) * scaleX);

    const QColor color(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                       static_cast<int>((Color >> 16) & 0xFF));
    QPen pen = canvas.pen();
    pen.setColor(color);
    pen.setStyle(Qt::SolidLine);
    canvas.setPen(pen);
    canvas.setBrush(QBrush(color, Qt::SolidPattern));

    // The window system's rectangle: the corners in either order, outline and fill, the
    // right and bottom edges not painted; an empty rectangle paints nothing.
    int x0 = std::clamp(std::min(left, right), -kFarOut, kFarOut);
    int x1 = std::clamp(std::max(left, right), -kFarOut, kFarOut);
    int y0 = std::clamp(std::min(top, bottom), -kFarOut, kFarOut);
    int y1 = std::clamp(std::max(top, bottom), -kFarOut, kFarOut);
    if (x0 == x1 || y0 == y1)
        return;
    canvas.drawRect(x0, y0, x1 - x0 - 1, y1 - y0 - 1);
}

// ---------------------------------------------------------------------------------------
// The pool of point records: slotCount are cut from chunks of growing size; a released slot
// goes to a free list and is reused first. When the last record is released every chunk
// goes back to the heap. The pool's state is constant-initialised and has no destructor,
// so records may be released at any time, during the program's shutdown as well.

namespace {

struct FreeSlot {
    FreeSlot* next;
};

struct ChunkHeader {
    ChunkHeader* previous;
};

constexpr std::size_t kSlotSize = sizeof(VT_Point);
constexpr std::size_t kHeaderSize = (sizeof(ChunkHeader) + alignof(std::max_align_t) - 1) /
                                    alignof(std::max_align_t) * alignof(std::max_align_t);
constexpr std::size_t kFirstChunkSlots = 256;
constexpr std::size_t kLargestChunkSlots = 65536;
static_assert(kSlotSize >= sizeof(FreeSlot) && kSlotSize % alignof(VT_Point) == 0);
static_assert(alignof(VT_Point) <= alignof(std::max_align_t));

struct PointPool {
    ChunkHeader* chunks;
    FreeSlot* freeSlots;
    unsigned char* next; // the uncut part of the newest chunk
    unsigned char* end;
    std::size_t live;
    std::size_t nextChunkSlots;
};

constinit PointPool g_pool{nullptr, nullptr, nullptr, nullptr, 0, kFirstChunkSlots};

void AddChunk() {
    const std::size_t slotCount = g_pool.nextChunkSlots;
    auto* chunk = static_cast<ChunkHeader*>(::operator new(kHeaderSize + slotCount * kSlotSize));
    chunk->previous = g_pool.chunks;
    g_pool.chunks = chunk;
    g_pool.next = reinterpret_cast<unsigned char*>(chunk) + kHeaderSize;
    g_pool.end = g_pool.next + slotCount * kSlotSize;
    g_pool.nextChunkSlots = std::min(slotCount * 2, kLargestChunkSlots);
}

void ReleaseAllChunks() {
    ChunkHeader* chunk = std::exchange(g_pool.chunks, nullptr);
    while (chunk) {
        ChunkHeader* previous = chunk->previous;
        ::operator delete(chunk);
        chunk = previous;
    }
    g_pool = PointPool{nullptr, nullptr, nullptr, nullptr, 0, kFirstChunkSlots};
}

} // namespace

void* VT_Point::operator new(std::size_t size) {
    if (size != kSlotSize)
        return ::operator new(size);
    void* slot;
    if (g_pool.freeSlots) {
        slot = g_pool.freeSlots;
        g_pool.freeSlots = g_pool.freeSlots->next;
    } else {
        if (g_pool.next == g_pool.end)
            AddChunk();
        slot = g_pool.next;
        g_pool.next += kSlotSize;
    }
    ++g_pool.live;
    return slot;
}

void VT_Point::operator delete(void* memory, std::size_t size) noexcept {
    if (!memory)
        return;
    if (size != kSlotSize) {
        ::operator delete(memory);
        return;
    }
    auto* slot = static_cast<FreeSlot*>(memory);
    slot->next = g_pool.freeSlots;
    g_pool.freeSlots = slot;
    if (--g_pool.live == 0)
        ReleaseAllChunks();
}

} // namespace vrma
