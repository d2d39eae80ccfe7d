#pragma once
// Point records and the list that holds them.
#include "data/Errors.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

class QPainter;

namespace vrma {

// A colour value of the window system (0x00BBGGRR, as the design's colour values).
using TColor = quint32;

// Abstract base of drawable items. Items are released by deleting the concrete
// record, so the destructor is protected and not virtual.
class VT_Drawable {
public:
    TColor Color = 0; // black

    virtual void Draw(QPainter& canvas, int originX, int originY, double scaleX, double scaleY) = 0;
    virtual double Left() const = 0;
    virtual double Right() const = 0;
    virtual double Top() const = 0;
    virtual double Bottom() const = 0;

protected:
    VT_Drawable() = default;
    ~VT_Drawable() = default;
    VT_Drawable(const VT_Drawable&) = default;
    VT_Drawable& operator=(const VT_Drawable&) = default;
};

// One point of a coordinate file: X is the first number of the line, Y the second.
class VT_Point final : public VT_Drawable {
public:
    double X;
    double Y;

    VT_Point(double x, double y) : X(x), Y(y) {}
    ~VT_Point() = default;

    // Paints the cell of the point; throws CalcError when a corner is not finite or lies
    // beyond the range of a pixel coordinate.
    void Draw(QPainter& canvas, int originX, int originY, double scaleX, double scaleY) override;
    double Left() const override { return Y; }
    double Right() const override { return Y; }
    double Top() const override { return X; }
    double Bottom() const override { return X; }
};

// An ordered list of pointers; with ownership 1 it deletes its items when it is
// emptied or destroyed, with ownership 0 it only refers to them.
//
// An owning list can also make its records itself (AddNew): they are built in chunks of
// memory that the list owns, a few hundred thousand records to a chunk at most, instead of
// one heap block each. Emptying the list destroys its items in order, as always, and keeps
// the chunks for the next records; the list's destruction frees them. A record that the
// list made is destroyed where it lies and never passed to delete; an item handed over
// with Add is deleted as before. Under AddressSanitizer the free space of the chunks is
// poisoned, so that a record used after its list was emptied is reported.
template <class T> class ListOfT {
public:
    explicit ListOfT(int ownership) : ownership_(static_cast<unsigned char>(ownership)) {
        if (ownership != 0 && ownership != 1)
            throw Exception("Wrong parameter transferred to ListOfT::ListOfT");
    }
    ~ListOfT() {
        DeleteOwned();
        for (const Chunk& chunk : chunks_) {
            UnpoisonRecords(chunk.records, chunk.capacity);
            std::allocator<T>().deallocate(chunk.records, chunk.capacity);
        }
    }
    ListOfT(const ListOfT&) = delete;
    ListOfT& operator=(const ListOfT&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    T* Get(int index) const {
        if (index < 0 || index >= Count())
            throw Exception("Index out of bounds ListOfT::Get");
        return Item(items_[static_cast<size_t>(index)]);
    }
    // Item `index` without the check, for a caller that has checked Count() itself (the
    // calibration reads every point of both lists eight times).
    T* GetUnchecked(size_t index) const { return Item(items_[index]); }
    void Add(T* item) { items_.push_back(reinterpret_cast<std::uintptr_t>(item)); }
    // Makes a record T(args...) and appends it: in the list's chunks when the list owns its
    // items, otherwise with new (its owner releases it, as with Add).
    template <class... Args> T* AddNew(Args&&... args) {
        if (ownership_ != 1) {
            auto record = std::make_unique<T>(std::forward<Args>(args)...);
            Add(record.get());
            return record.release();
        }
        if (items_.size() == items_.capacity()) // before the record is built: nothing to undo
            items_.reserve(std::max<size_t>(16, items_.capacity() * 2));
        T* const place = NextPlace();
        UnpoisonRecords(place, 1);
        T* record;
        try {
            record = ::new (static_cast<void*>(place)) T(std::forward<Args>(args)...);
        } catch (...) {
            PoisonRecords(place, 1);
            throw;
        }
        ++chunks_[current_].used;
        items_.push_back(reinterpret_cast<std::uintptr_t>(record) | kMade);
        return record;
    }
    void Clear() {
        DeleteOwned();
        items_.clear();
        for (Chunk& chunk : chunks_) {
            PoisonRecords(chunk.records, chunk.used);
            chunk.used = 0;
        }
        current_ = 0;
    }
    // Moves every item of another owning list to the end of this owning one, in order, with
    // the chunks that hold its records: the other list is left empty. On a failure (no room)
    // both lists are as they were.
    void TakeItemsOf(ListOfT& other) {
        if (ownership_ != 1 || other.ownership_ != 1)
            throw Exception("Wrong parameter transferred to ListOfT::TakeItemsOf");
        chunks_.reserve(chunks_.size() + other.chunks_.size());
        items_.insert(items_.end(), other.items_.begin(), other.items_.end());
        chunks_.insert(chunks_.end(), other.chunks_.begin(), other.chunks_.end());
        other.items_.clear();
        other.chunks_.clear();
        other.current_ = 0;
    }
    // Hands chunks that hold no records, from the last on, to another owning list until it
    // has room for `records` records or none are left to hand (a reader filling lists at
    // once shares out the room of the previous read). The items stay where they are.
    void GiveEmptyChunks(ListOfT& other, size_t records) {
        size_t room = other.RecordRoom();
        while (room < records && chunks_.size() > current_ + 1 && chunks_.back().used == 0) {
            other.chunks_.push_back(chunks_.back()); // may throw: then nothing was handed
            room += chunks_.back().capacity;
            chunks_.pop_back();
        }
    }
    // How many more records the chunks have room for.
    size_t RecordRoom() const {
        size_t room = 0;
        for (const Chunk& chunk : chunks_)
            room += chunk.capacity - chunk.used;
        return room;
    }
    // Frees the chunks that hold no records.
    void FreeEmptyChunks() {
        size_t kept = 0;
        size_t current = 0;
        for (size_t k = 0; k < chunks_.size(); ++k) {
            const Chunk chunk = chunks_[k];
            if (k == current_)
                current = kept;
            if (chunk.used == 0) {
                UnpoisonRecords(chunk.records, chunk.capacity);
                std::allocator<T>().deallocate(chunk.records, chunk.capacity);
            } else {
                chunks_[kept++] = chunk;
            }
        }
        current_ = current_ < chunks_.size() ? current : kept;
        chunks_.resize(kept);
    }
    unsigned char Ownership() const { return ownership_; }
    // Reserves room for n more items (a reader that knows the line count uses it).
    void Reserve(size_t n) { items_.reserve(items_.size() + n); }

private:
    static_assert(alignof(T) >= 2, "the lowest bit of an item's address tells who made it");
    static constexpr std::uintptr_t kMade = 1; // the record lies in a chunk of the list
    static constexpr size_t kFirstChunk = 64;  // records
    static constexpr size_t kLargestChunk = size_t(1) << 18;

    struct Chunk {
        T* records;
        size_t capacity;
        size_t used;
    };

    // An entry is a record's address with its lowest bit telling who made it, so the
    // address comes back from an integer.
    static T* Item(std::uintptr_t entry) {
        return reinterpret_cast<T*>(entry & ~kMade); // NOLINT(performance-no-int-to-ptr)
    }

    static void PoisonRecords([[maybe_unused]] T* first, [[maybe_unused]] size_t n) {
#ifdef __SANITIZE_ADDRESS__
        ASAN_POISON_MEMORY_REGION(first, n * sizeof(T));
#endif
    }
    static void UnpoisonRecords([[maybe_unused]] T* first, [[maybe_unused]] size_t n) {
#ifdef __SANITIZE_ADDRESS__
        ASAN_UNPOISON_MEMORY_REGION(first, n * sizeof(T));
#endif
    }

    // Where the next record goes: the first chunk with room, from the current one on; a new
    // chunk, twice as large as the last, when none has room.
    T* NextPlace() {
        while (current_ < chunks_.size() && chunks_[current_].used == chunks_[current_].capacity)
            ++current_;
        if (current_ == chunks_.size()) {
            const size_t capacity = chunks_.empty()
                                        ? kFirstChunk
                                        : std::min(chunks_.back().capacity * 2, kLargestChunk);
            chunks_.reserve(chunks_.size() + 1);
            T* const records = std::allocator<T>().allocate(capacity);
            PoisonRecords(records, capacity);
            chunks_.push_back(Chunk{records, capacity, 0});
        }
        Chunk& chunk = chunks_[current_];
        return chunk.records + chunk.used;
    }

    void DeleteOwned() {
        if (ownership_ != 1)
            return;
        for (const std::uintptr_t entry : items_) {
            if (entry & kMade)
                Item(entry)->~T();
            else
                delete Item(entry);
        }
    }

    std::vector<std::uintptr_t> items_; // item addresses, kMade set on the list's own records
    std::vector<Chunk> chunks_;
    size_t current_ = 0; // the chunk that the next record goes into, or one with less room
    unsigned char ownership_;
};

using VT_Points = ListOfT<VT_Point>;

} // namespace vrma
