// Where the window goes and how large it opens, as plain arithmetic on the
// screen's work area and the window manager's decorations, so the rules can
// be checked without a display. The App applies them (app_geometry.cpp).
#pragma once

#include <map>
#include <vector>

namespace geometry {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Decoration sizes the window manager adds around the window; 0 when unknown.
struct Frame {
    int top = 0, left = 0, bottom = 0, right = 0;
};

// Areas, frames, positions and the sizes returned are in window-system
// units; `units` of them make one logical unit (the desktop's scale times
// the zoom on X11, the zoom alone where the window system scales itself).

// The smallest window in a work area: 720 x 520 logical where it fits, less
// on a small screen, never below 100 x 60 logical.
Rect min_size(const Rect& area, const Frame& frame, double units = 1);
// The size to open at: a forced size, else a saved one, else a default
// share of the area; in every case held inside the area (w and h only).
// Forced and saved sizes are logical, so a window keeps its layout when the
// scale changes between runs and only its size on the screen follows;
// where that no longer fits, it is held inside the area like any other.
Rect open_size(const Rect& area, const Frame& frame, int forced_w, int forced_h, int saved_w, int saved_h,
               double units = 1);
// The logical size to save for a window of w x h window units.
Rect logical_size(int w, int h, double units);
// The top-left corner for a w x h window asked for at (x, y): centred in
// the area when that point is on no screen (`on_screen` false), and kept
// inside the area with its decorations (x and y only).
Rect placed(const Rect& area, bool on_screen, const Frame& frame, int x, int y, int w, int h);

// Room for a device-pixel bitmap of `need` (width or height): rounded up to
// a whole step, so a window dragged larger by a few pixels at a time finds
// its layers already large enough; never above `most`, the renderer's limit.
int room(int need, int most);
// Whether layers of have_w x have_h keep serving a window of need_w x
// need_h: they must hold it and not waste more than half of themselves.
bool room_serves(int need_w, int need_h, int have_w, int have_h);

// The marked cells of a grid `cols` wide, rows by index, joined into a few
// rectangles that cover each marked cell once and nothing else, in cells:
// the runs of each row, a run below one of the same columns making it
// taller. A clip of a hundred small rectangles costs more in every drawing
// call than the pixels it spares.
std::vector<Rect> join_cells(const std::map<int, std::vector<char>>& rows, int cols);

}  // namespace geometry
