// The keyboard focus. Every control of the active layer (the page with its
// frame, or the open dialog) can be reached with Tab and Shift+Tab in
// reading order: the page's frame first, then panel by panel as the layout
// places them, top to bottom and, within a row, in the direction the layer
// is drawn. Space and Enter press what has the focus. The focus is kept by
// the control's id, so it survives repaints; a ring shows it once the
// keyboard is used, until the next click.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app.h"
#include "hit_id.h"
#include "l10n.h"
#include "reading_order.h"

using hit_id::Kind;

namespace {

constexpr double kRingGap = 3, kRingWidth = 2, kRingRadius = 7;
constexpr double kScrollMargin = 16;  // room kept around a control scrolled into view

bool focusable_kind(Kind k) { return hit_id::pointer_of(k) != hit_id::Pointer::Arrow; }

}  // namespace

bool App::focusable(const Hit& h) {
    const Kind k = hit_id::parse(h.id).kind;
    // A stepper is one stop, its field: the arrow keys step it.
    if (k == Kind::StepUp || k == Kind::StepDown) return false;
    return focusable_kind(k);
}

std::vector<const Hit*> App::focus_order() const {
    std::vector<const Hit*> order;
    auto take = [&order](std::vector<const Hit*> group, bool rtl) {
        reading_order(group, rtl, [](const Hit* h) -> const Hit& { return *h; });
        order.insert(order.end(), group.begin(), group.end());
    };
    if (modal_or_menu()) {
        std::vector<const Hit*> group;
        for (const Hit& h : m_over_hits)
            if (focusable(h)) group.push_back(&h);
        // Dialogs read from the right in right-to-left languages; menus are a column.
        take(group, L10n::isRTL() && !m_menu.open);
        return order;
    }
    // The frame (menu bar, tabs, buttons, the notice) before the page.
    std::vector<const Hit*> frame;
    for (const Hit& h : m_hits) {
        if (hit_id::in_frame(hit_id::parse(h.id).kind) && focusable(h)) frame.push_back(&h);
    }
    take(frame, false);
    // The page, panel by panel; the guide page is one group.
    std::vector<size_t> starts = m_hit_groups;
    if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
    for (size_t g = 0; g < starts.size(); ++g) {
        const size_t end = g + 1 < starts.size() ? starts[g + 1] : m_page_hits.size();
        std::vector<const Hit*> group;
        for (size_t i = starts[g]; i < end && i < m_page_hits.size(); ++i)
            if (focusable(m_page_hits[i])) group.push_back(&m_page_hits[i]);
        take(group, false);
    }
    return order;
}

std::string& App::focus_id() { return modal_or_menu() ? m_focus_over : m_focus_base; }

const Hit* App::focused_hit() const {
    const std::string& id = modal_or_menu() ? m_focus_over : m_focus_base;
    if (id.empty()) return nullptr;
    for (const Hit* h : focus_order())
        if (h->id == id) return h;
    return nullptr;
}

void App::move_focus(int dir) {
    if (m_menu.open) {
        menu_key(dir > 0 ? SDLK_DOWN : SDLK_UP);
        return;
    }
    const std::vector<const Hit*> order = focus_order();
    if (order.empty()) return;
    std::string& id = focus_id();
    int at = -1;
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i]->id == id) at = static_cast<int>(i);
    const int n = static_cast<int>(order.size());
    const int next = at < 0 ? (dir > 0 ? 0 : n - 1) : (at + dir + n) % n;
    id = order[static_cast<size_t>(next)]->id;
    show_focus(*order[static_cast<size_t>(next)]);
}

void App::show_focus(const Hit& h) {
    m_focus_ring = true;
    into_view(h);
    invalidate();
    invalidate_over();
}

bool App::into_view(const Hit& h) {
    // Brought into view: the page, or the scrolled part of the open panel.
    auto fit = [&](double& scroll, double top, double view) {
        const double was = scroll;
        if (h.y < top + kScrollMargin)
            scroll -= top + kScrollMargin - h.y;
        else if (h.y + h.h > top + view - kScrollMargin)
            scroll += h.y + h.h - (top + view - kScrollMargin);
        return scroll != was;
    };
    bool moved = false;
    if (!modal_or_menu()) {
        if (!hit_id::in_frame(hit_id::parse(h.id).kind)) {
            double& scroll = m_scroll[std::clamp(m_settings.tab, 0, 1)];
            const double was = scroll;
            fit(scroll, page_top(), view_height());
            scroll = std::clamp(scroll, 0.0, std::max(was, max_scroll()));
            moved = scroll != was;
            if (moved) scrolled();
        }
    } else {
        if (m_modal == Modal::Settings) moved = fit(m_set_scroll, m_set_view_top, m_set_view_h);
        if (m_modal == Modal::Languages) moved = fit(m_lang_scroll, m_lang_view_top, m_lang_view_h);
        if (m_modal == Modal::Working) moved = fit(m_work_scroll, m_work_view_top, m_work_view_h);
        settle_scrolls();
    }
    return moved;
}

void App::follow_focus() {
    if (!m_focus_follow) return;
    m_focus_follow = false;
    if (const Hit* h = focused_hit(); h && into_view(*h)) {
        invalidate();
        invalidate_over();
    }
}

bool App::press_focused() {
    const Hit* found = focused_hit();
    if (!found) return false;
    const Hit h = *found;  // the lists change while it acts
    m_focus_ring = true;
    m_focus_follow = true;
    const hit_id::Id id = hit_id::parse(h.id);
    if (modal_or_menu()) {
        if (id.kind == Kind::MenuItem)
            activate_menu_item(h.n);
        else
            over_click(h);
        invalidate_over();
        return true;
    }
    if (id.kind == Kind::MenuTitle) {
        open_menubar(h.n);
        m_over_hover = hit_id::make(Kind::MenuItem, 0);
    } else if (id.kind == Kind::Field) {
        begin_edit(id.arg);
    } else {
        page_click(h, 1);
    }
    invalidate();
    return true;
}

std::string App::focused_value() const {
    if (modal_or_menu()) return "";
    const hit_id::Id id = hit_id::parse(m_focus_base);
    return id.kind == Kind::Field ? id.arg : "";
}

void App::settle_focus() {
    // A dialog that opens takes the focus to its first control (the crash
    // dialog's first button); the page's focus waits until it closes. A
    // dialog opened from another (the language list from the settings)
    // gives the focus back to the control that opened it.
    const int layer = m_menu.open ? -1 : static_cast<int>(m_modal);
    if (layer == m_focus_layer) return;
    if (!m_focus_back.empty() && m_focus_back.back().first == layer) {
        m_focus_over = m_focus_back.back().second;
        m_focus_back.pop_back();
    } else {
        if (m_focus_layer > 0 && layer > 0)
            m_focus_back.emplace_back(m_focus_layer, m_focus_over);
        else
            m_focus_back.clear();
        m_focus_over.clear();
        if (layer > 0) {
            const std::vector<const Hit*> order = focus_order();
            if (!order.empty()) m_focus_over = order.front()->id;
        }
    }
    m_focus_layer = layer;
}

bool App::focus_key(const SDL_Keysym& ks) {
    if (ks.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) return false;
    const SDL_Keycode k = ks.sym;
    if (k == SDLK_TAB) {
        move_focus((ks.mod & KMOD_SHIFT) ? -1 : +1);
        return true;
    }
    const bool up = k == SDLK_UP, down = k == SDLK_DOWN;
    if (focused_hit()) {
        if (k == SDLK_SPACE || k == SDLK_RETURN || k == SDLK_KP_ENTER) return press_focused();
        const std::string value = focused_value();
        const bool plus = up || k == SDLK_PLUS || k == SDLK_EQUALS || k == SDLK_KP_PLUS;
        const bool minus = down || k == SDLK_MINUS || k == SDLK_KP_MINUS;
        if (!value.empty() && (plus || minus)) {
            m_focus_ring = true;
            m_focus_follow = true;
            step_value(value, plus ? +1 : -1);
            invalidate();
            return true;
        }
    }
    // In a dialog the arrows walk its controls as a list.
    if (modal_or_menu() && (up || down)) {
        move_focus(down ? +1 : -1);
        return true;
    }
    return false;
}

void App::focus_clicked(const Hit* h) {
    // A click on nothing that takes the focus lets it go, as in a browser,
    // so that the page's own keys (+, −, the arrows) work again.
    const hit_id::Id id = hit_id::parse(h ? h->id : "");
    if (!focusable_kind(id.kind))
        focus_id().clear();
    else if (id.kind == Kind::StepUp || id.kind == Kind::StepDown)
        focus_id() = hit_id::make(Kind::Field, id.arg);
    else
        focus_id() = h->id;
}

bool App::paint_focus_ring(cairo_t* cr, const std::vector<Hit>& hits, const std::string& id) const {
    if (!m_focus_ring || id.empty()) return false;
    // A stepper's ring goes round its buttons too: they are one control.
    const hit_id::Id focused = hit_id::parse(id);
    std::string up, down;
    if (focused.kind == Kind::Field) {
        up = hit_id::make(Kind::StepUp, focused.arg);
        down = hit_id::make(Kind::StepDown, focused.arg);
    }
    for (const Hit& f : hits) {
        if (f.id != id || f.hidden) continue;
        double x0 = f.x, y0 = f.y, x1 = f.x + f.w, y1 = f.y + f.h;
        for (const Hit& b : hits)
            if (!up.empty() && (b.id == up || b.id == down)) {
                x0 = std::min(x0, b.x);
                y0 = std::min(y0, b.y);
                x1 = std::max(x1, b.x + b.w);
                y1 = std::max(y1, b.y + b.h);
            }
        gfx::rounded(cr, x0 - kRingGap, y0 - kRingGap, x1 - x0 + 2 * kRingGap, y1 - y0 + 2 * kRingGap, kRingRadius);
        gfx::set(cr, m_pal.accent);
        cairo_set_line_width(cr, kRingWidth);
        gfx::stroke(cr);
        return true;
    }
    return false;
}
