#include "tuck/TuckAwayUnifiedShape.h"

#include <QRectF>

namespace {
// An arc around the centre from one angle to the other, the angles measured clockwise on the
// y-down view. QPainterPath turns counter-clockwise, hence the negated angles.
void arc(QPainterPath& path, QPointF centre, double radius, double fromDegrees, double toDegrees) {
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    path.arcTo(box, -fromDegrees, -(toDegrees - fromDegrees));
}
} // namespace

QPainterPath TuckAwayUnifiedShape::path(QSizeF size) const {
    return edge_ == ScreenEdge::right ? tabOnTheLeft(size.width(), size.height())
                                      : tabOnTheRight(size.width(), size.height());
}

QPainterPath TuckAwayUnifiedShape::tabOnTheLeft(double w, double h) const {
    const double tw = pullTabWidth_;
    const double pr = panelCornerRadius_;
    const double tr = tabCornerRadius_;
    const double tabTop = (h - pullTabHeight_) * 0.5;
    const double tabBottom = tabTop + pullTabHeight_;
    QPainterPath path;
    path.moveTo(tw + pr, 0);
    path.lineTo(w - pr, 0);
    arc(path, {w - pr, pr}, pr, -90, 0);
    path.lineTo(w, h - pr);
    arc(path, {w - pr, h - pr}, pr, 0, 90);
    path.lineTo(tw + pr, h);
    arc(path, {tw + pr, h - pr}, pr, 90, 180);
    path.lineTo(tw, tabBottom);
    path.lineTo(tr, tabBottom);
    arc(path, {tr, tabBottom - tr}, tr, 90, 180);
    path.lineTo(0, tabTop + tr);
    arc(path, {tr, tabTop + tr}, tr, 180, 270);
    path.lineTo(tw, tabTop);
    path.lineTo(tw, pr);
    arc(path, {tw + pr, pr}, pr, 180, 270);
    path.closeSubpath();
    return path;
}

QPainterPath TuckAwayUnifiedShape::tabOnTheRight(double w, double h) const {
    const double tw = pullTabWidth_;
    const double pr = panelCornerRadius_;
    const double tr = tabCornerRadius_;
    const double tabTop = (h - pullTabHeight_) * 0.5;
    const double tabBottom = tabTop + pullTabHeight_;
    const double p = w - tw;
    QPainterPath path;
    path.moveTo(pr, 0);
    path.lineTo(p - pr, 0);
    arc(path, {p - pr, pr}, pr, -90, 0);
    path.lineTo(p, tabTop);
    path.lineTo(w - tr, tabTop);
    arc(path, {w - tr, tabTop + tr}, tr, -90, 0);
    path.lineTo(w, tabBottom - tr);
    arc(path, {w - tr, tabBottom - tr}, tr, 0, 90);
    path.lineTo(p, tabBottom);
    path.lineTo(p, h - pr);
    arc(path, {p - pr, h - pr}, pr, 0, 90);
    path.lineTo(pr, h);
    arc(path, {pr, h - pr}, pr, 90, 180);
    path.lineTo(0, pr);
    arc(path, {pr, pr}, pr, 180, 270);
    path.closeSubpath();
    return path;
}
