#pragma once
// The number texts of the editor's grid, made without a heap allocation where possible:
// row numbers, and coordinates in their normalised form, the 15-digit general format of
// the value read at full precision (FormatGeneral15 of ParseReal).
#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace vrma {

// Plain decimal text of a row number; valid until the next call.
class RowNumberText {
public:
    QStringView Of(int n);

private:
    std::array<char16_t, 12> digits_{};
};

// The normalised text of a coordinate: FormatGeneral15(*ParseReal(text)), or nullopt
// when ParseReal rejects the text or its value lies beyond the range of a double (as
// ParseRealDouble, the coordinate reader's syntax, has it). Valid until the next call.
//
// A text of at most 15 significant digits (the texts this program writes, and most
// others) is written out directly from its digits: read into a 64-bit mantissa, its value
// lies far closer to the text than half a unit of the 15th digit, so the 15-digit
// rounding gives back the text's own digits. Longer texts, and exponents near the ends of
// the double range, go through ParseReal and FormatGeneral15.
class RealText15 {
public:
    std::optional<QStringView> Of(QStringView text);

private:
    std::optional<QStringView> Slow(QStringView text);

    std::array<char16_t, 48> buffer_{};
    QString slow_;
};

} // namespace vrma
