#pragma once
// The camera window's heat map of the projection's uncertainty over the frame
// (drawing/UncertaintyPainting), beside the coverage view.
#include "calib/ProjectionUncertainty.h"

#include <QWidget>

namespace vrma {

class TUncertaintyView : public QWidget {
    Q_OBJECT
public:
    explicit TUncertaintyView(QWidget* parent = nullptr);
    // The map shown (copied), or none.
    void Show(const ProjectionUncertainty* map);
    bool showing() const { return map_.has_value(); }
    QSize sizeHint() const override { return {480, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<ProjectionUncertainty> map_;
};

} // namespace vrma
