// Where the main window opens: at its stored bounds, moved onto the screen
// when it lies off it, or centred at its designed size. Bounds are the
// window's frame ("structure") rectangle in screen coordinates.
#pragma once

#include <QRect>
#include <QSize>

namespace j3 {

constexpr QSize kDesignedWindowSize{674, 373};

// The stored bounds (x, y, w, h as loaded; a negative x or y centres the
// window at first_size, a width or height <= 0 takes first_size's) placed on
// a screen whose usable area is available. A first size taller or wider than
// the screen is cut to it.
QRect place_main_window(int x, int y, int w, int h, const QRect& available,
                        QSize first_size = kDesignedWindowSize);

// Moves r so that it lies on available, keeping its size; when it is larger
// than the screen its top left corner stays visible.
QRect move_onto_screen(QRect r, const QRect& available);

}  // namespace j3
