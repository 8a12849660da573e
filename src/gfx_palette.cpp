// The two palettes and the colour helpers every painter uses.
#include "gfx.h"

#include <cstdlib>

// ---- Colours and palettes ----

Rgba hex(const char* h, double a) {
    if (!h) return Rgba{0, 0, 0, a};
    if (*h == '#') ++h;
    const unsigned long v = std::strtoul(h, nullptr, 16);
    return Rgba{((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0, a};
}

Palette Palette::make(bool dark) {
    Palette p;
    p.dark = dark;
    auto pick = [dark](const char* d, const char* l, double a = 1) { return hex(dark ? d : l, a); };
    p.bg = pick("#0B0B0C", "#ECEBE8");
    p.bg_top = pick("#161616", "#F2F1EE");
    p.bg_bottom = pick("#080808", "#E1E0DC");
    p.surface = pick("#18181A", "#FFFFFF");
    p.surface2 = pick("#202022", "#F6F5F2");
    p.border = pick("#2A2A2D", "#CFCDC8");
    p.panel_top = pick("#232325", "#FCFCFA");
    p.panel_bottom = pick("#0E0E0F", "#E5E4E0");
    p.panel_edge = pick("#2A2A2D", "#CFCDC8");
    p.shine = hex("#FFFFFF", dark ? 0.13 : 0.4);
    p.slot = pick("#0B0B0C", "#F4F4F2");
    p.slot_edge = pick("#2C2C2F", "#BDBBB6");
    p.text = pick("#E2E0DC", "#22211F");
    p.text_strong = pick("#FFFFFF", "#000000");
    p.dim = pick("#B2ADA6", "#5A5651");
    p.faint = pick("#87837C", "#8A867F");
    p.grid = dark ? hex("#FFFFFF", 0.06) : hex("#000000", 0.07);
    p.down = pick("#A9C2A8", "#6E8A6C");
    p.up = pick("#E4CDA6", "#A88552");
    p.ok = pick("#A9C2A8", "#6E8A6C");
    p.warn = pick("#E4CDA6", "#B08A55");
    p.err = pick("#DE8C84", "#B5605A");
    p.accent = pick("#9DB59B", "#6E8A6C");
    p.chip = pick("#202022", "#E6E5E1");
    p.chip_on = pick("#8FA98D", "#7E9A7C");
    p.chip_on_text = pick("#141814", "#FFFFFF");
    p.hover = dark ? hex("#FFFFFF", 0.05) : hex("#000000", 0.04);
    p.select = dark ? hex("#A9C2A8", 0.14) : hex("#7E9A7C", 0.12);
    p.led_off = pick("#18181A", "#E2E2DF");
    p.button = pick("#202022", "#FFFFFF");
    p.button_hot = pick("#2B2B2E", "#ECEBE7");
    return p;
}

namespace gfx {

void set(cairo_t* cr, const Rgba& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

Rgba with_alpha(const Rgba& c, double k) { return Rgba{c.r, c.g, c.b, c.a * k}; }

Rgba mix(const Rgba& a, const Rgba& b, double t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
                a.a + (b.a - a.a) * t};
}

Rgba vu_color(double f, const Palette& p) {
    if (f > 0.86) return p.err;
    if (f > 0.68) return p.warn;
    return p.ok;
}

}  // namespace gfx
