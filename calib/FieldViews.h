#pragma once
// The further photographs of a field check (vrma-calib's --view SCENE IMAGE, as many as
// given), read from their coordinate files into the check's input: each file with the
// coordinate-file reader under its guard (data/Procedures: a file that does not read is
// told to the user with the reader's one message), the points kept as the check takes
// them, and nothing else kept: the memory is the points' (32 bytes a pair), whatever the
// number of views.
#include "calib/FieldCheck.h"

#include <QString>
#include <optional>
#include <span>
#include <vector>

namespace vrma {

struct FieldViewFiles {
    QString scene;
    QString image;
};

struct FieldViewsRead {
    std::vector<FieldView> views; // in the order given, when all read
    std::optional<size_t> failed; // the first view whose scene or image file did not read
};

FieldViewsRead ReadFieldViews(std::span<const FieldViewFiles> files);

} // namespace vrma
