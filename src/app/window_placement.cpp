#include "app/window_placement.h"

namespace j3 {

QRect move_onto_screen(QRect r, const QRect& available) {
    if (r.right() > available.right()) r.moveRight(available.right());
    if (r.bottom() > available.bottom()) r.moveBottom(available.bottom());
    if (r.left() < available.left()) r.moveLeft(available.left());
    if (r.top() < available.top()) r.moveTop(available.top());
    return r;
}

QRect place_main_window(int x, int y, int w, int h, const QRect& available, QSize first_size) {
    first_size = first_size.boundedTo(available.size()).expandedTo(kDesignedWindowSize);
    if (x >= 0 && y >= 0) {
        const QSize size(w > 0 ? w : first_size.width(), h > 0 ? h : first_size.height());
        return move_onto_screen(QRect(QPoint(x, y), size), available);
    }
    QRect r(QPoint(0, 0), first_size);
    r.moveCenter(available.center());
    return r;
}

}  // namespace j3
