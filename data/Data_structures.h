#pragma once
// Point records and the list that holds them.
#include "data/Errors.h"

#include <QtGlobal>
#include <vector>

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
        return items_[static_cast<size_t>(index)];
    }
    void Add(T* item) { items_.push_back(item); }
    void Clear() {
        DeleteOwned();
        items_.clear();
    }
    unsigned char Ownership() const { return ownership_; }
    // Reserves room for n more items (a reader that knows the line count uses it).
    void Reserve(size_t n) { items_.reserve(items_.size() + n); }

private:
    void DeleteOwned() {
        if (ownership_ == 1)
            for (T* item : items_)
                delete item;
    }

    std::vector<T*> items_;
    unsigned char ownership_;
};

using VT_Points = ListOfT<VT_Point>;

} // namespace vrma
