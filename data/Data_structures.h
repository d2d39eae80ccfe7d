#pragma once
// Point records and the list that holds them.
#include "data/Errors.h"
#include "data/ListMemory.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

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
// memory that the list owns (data/ListMemory.h) instead of one heap block each. Emptying
// the list destroys its items in order, as always, and keeps the chunks for the next
// records; the list's destruction frees them. A record that the list made is destroyed
// where it lies and never passed to delete; an item handed over with Add is deleted as
// before. The item addresses and the chunks of a large list take its memory in huge-page
// units where the system allows them.
template <class T> class ListOfT {
public:
    explicit ListOfT(int ownership) : ownership_(static_cast<unsigned char>(ownership)) {
        if (ownership != 0 && ownership != 1)
            throw Exception("Wrong parameter transferred to ListOfT::ListOfT");
    }
    ~ListOfT() { DeleteOwned(); }
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
        T* const record = records_.AddNew(std::forward<Args>(args)...);
        items_.push_back(reinterpret_cast<std::uintptr_t>(record) | kMade);
        return record;
    }
    // Makes records one after the other and appends them, as AddNew does, many at a time:
    // make(place) builds a record at place and returns true, or builds nothing and returns
    // false when there are no more. The records made before an exception from make stay in
    // the list.
    template <class Make> void AddNewWhile(Make make) {
        if (ownership_ != 1) {
            for (;;) {
                // As AddNew makes them: on the heap, for their owner to delete.
                std::unique_ptr<void, void (*)(void*)> place(::operator new(sizeof(T)),
                                                             [](void* q) { ::operator delete(q); });
                if (items_.size() == items_.capacity()) // before the record is built
                    items_.reserve(std::max<size_t>(16, items_.capacity() * 2));
                if (!make(static_cast<T*>(place.get())))
                    return;
                Add(static_cast<T*>(place.release()));
            }
        }
        for (;;) {
            if (items_.size() == items_.capacity())
                items_.reserve(std::max<size_t>(16, items_.capacity() * 2));
            const auto run = records_.FreeRun();
            const size_t n = std::min(run.n, items_.capacity() - items_.size());
            std::uintptr_t* const items = items_.Tail();
            size_t k = 0;
            const Counting counting{*this, run, k};
            while (k < n && make(run.first + k)) {
                items[k] = reinterpret_cast<std::uintptr_t>(run.first + k) | kMade;
                ++k;
            }
            if (k < n)
                return;
        }
    }
    void Clear() {
        DeleteOwned();
        items_.clear();
        records_.Empty();
    }
    // Room for n more items (a reader that knows how many lines a file has uses it).
    void ReserveItems(size_t n) { items_.reserve(items_.size() + n); }
    // Room for n more records made by AddNew in an owning list.
    void ReserveRecords(size_t n) {
        if (ownership_ == 1)
            records_.Reserve(n);
    }
    // Appends every record of `records` to this owning list, in the order in which they were
    // made, and takes the chunks that hold them: `records` is left empty. On a failure (no
    // room) both are as they were.
    void TakeRecordsOf(RecordChunks<T>& records) {
        if (ownership_ != 1)
            throw Exception("Wrong parameter transferred to ListOfT::TakeRecordsOf");
        items_.reserve(items_.size() + records.Count());
        records_.MakeRoomToTake(records);
        records.ForEachRun([this](T* first, size_t n) {
            items_.Append(n, [first](size_t k) {
                return reinterpret_cast<std::uintptr_t>(first + k) | kMade;
            });
        });
        records_.Take(records);
    }
    // Hands chunks that hold no records, from the last on, to `other` until it has room for
    // `records` records or none are left to hand (a reader filling lists at once shares out
    // the room of the previous read). The items stay where they are.
    void GiveEmptyChunks(RecordChunks<T>& other, size_t records) {
        records_.GiveEmpty(other, records);
    }
    // How many more records the chunks have room for.
    size_t RecordRoom() const { return records_.Room(); }
    // Frees the chunks that hold no records.
    void FreeEmptyChunks() { records_.FreeEmpty(); }
    unsigned char Ownership() const { return ownership_; }

private:
    static_assert(alignof(T) >= 2, "the lowest bit of an item's address tells who made it");
    static constexpr std::uintptr_t kMade = 1; // the record lies in a chunk of the list

    // An entry is a record's address with its lowest bit telling who made it, so the
    // address comes back from an integer.
    static T* Item(std::uintptr_t entry) {
        return reinterpret_cast<T*>(entry & ~kMade); // NOLINT(performance-no-int-to-ptr)
    }

    // Counts the records and items of a run as made when it goes, whatever way it goes.
    struct Counting {
        ListOfT& list;
        const typename RecordChunks<T>::Run& run;
        const size_t& made;
        ~Counting() {
            list.records_.Made(run, made);
            list.items_.Grew(made);
        }
    };

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

    ItemArray items_; // item addresses, kMade set on the list's own records
    RecordChunks<T> records_;
    unsigned char ownership_;
};

using VT_Points = ListOfT<VT_Point>;

} // namespace vrma
