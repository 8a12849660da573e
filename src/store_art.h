// The program's artwork, drawn procedurally without a window: the application
// icon at any size and the store banner with up to three screenshots. Nothing
// here depends on the palette or the theme.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

// Draws the icon into the square (0, 0)-(S, S) of the context. S is meant to
// be four times (or more) the size the icon is shown at; small drawings leave
// out the fine lettering so that the device stays legible.
void draw_store_icon(cairo_t* cr, double S);

// Writes icon-512.png, icon-256.png and banner-1920x640.png into `dir`
// (which must exist). Screenshots that cannot be read are left out; only the
// first three are used. Returns 0 when every file was written, else 1.
int render_store_art(const std::string& dir, const std::vector<std::string>& shots);

// "--render-icon": the icon at size x size pixels, drawn four times larger
// and scaled down. Returns the exit status: 0 written, 1 otherwise.
int render_icon(long size, const std::string& path);
