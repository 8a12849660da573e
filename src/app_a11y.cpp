// What the screen reader is told. While the bridge is up, every text the
// painters draw is recorded with the layer it belongs to (the frame, the
// page with its panel, or the overlay); after a frame, the hits and texts
// of that frame become the tree of accessible objects: the menu bar, the
// tabs and the header's buttons, the page panel by panel, and the open
// dialog or menu. A control is named by its caption, else by the text it
// shows, else by its tooltip; a text inside no control is a label. The
// comparison panel is a table: one row per level, its texts the cells.
#include <SDL.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "a11y.h"
#include "app.h"
#include "hit_id.h"
#include "l10n.h"
#include "reading_order.h"

using hit_id::Kind;

namespace {

using a11y::Node;
using a11y::Role;

constexpr int kFrameGroup = -1;

struct Box {
    double x, y, w, h;
};

bool centre_in(const gfx::DrawnText& t, const Box& b) {
    const double cx = t.x + t.w / 2, cy = t.y + t.h / 2;
    return cx >= b.x && cx < b.x + b.w && cy >= b.y && cy < b.y + b.h;
}

Box box_of(const Hit& h) { return {h.x, h.y, h.w, h.h}; }

bool is_panel(Kind k) {
    return k == Kind::SetPanel || k == Kind::LangPanel || k == Kind::ConfPanel || k == Kind::WarnPanel ||
           k == Kind::WorkPanel;
}

// The role of a control, or Label for what only carries a tooltip.
Role role_of(Kind k) {
    switch (k) {
    case Kind::Field: return Role::SpinButton;
    case Kind::Level:
    case Kind::Unit:
    case Kind::Preset:
    case Kind::DiskType:
    case Kind::Mirror:
    case Kind::UreChip:
    case Kind::SetTheme:
    case Kind::GuidePm:
    case Kind::GuideDev:
    case Kind::Language: return Role::RadioButton;
    case Kind::OsSizes:
    case Kind::SetAnimate:
    case Kind::SetGuideWarn:
    case Kind::WarnAgain:
    case Kind::Disk:
    case Kind::Spare: return Role::ToggleButton;
    case Kind::HowLink:
    case Kind::SetLink: return Role::Link;
    case Kind::Tab:
    case Kind::TabOff:
    case Kind::SetTab: return Role::PageTab;
    case Kind::MenuTitle: return Role::Menu;
    case Kind::MenuItem: return Role::MenuItem;
    case Kind::Compare: return Role::TableRow;
    case Kind::None:
    case Kind::Tip:
    case Kind::Survival: return Role::Label;
    default: return Role::PushButton;
    }
}

// Hits that are part of another object rather than one of their own.
bool skipped(Kind k) { return k == Kind::StepUp || k == Kind::StepDown || is_panel(k); }

// Builds the tree from one frame's hits and texts.
class Builder {
public:
    explicit Builder(std::vector<Node>& out) : m_out(out) {}

    Node& add(Node n) {
        m_out.push_back(std::move(n));
        return m_out.back();
    }

    // Texts inside `b` that no control has claimed yet, claimed now.
    std::string claim(std::vector<std::pair<gfx::DrawnText, bool>>& texts, const Box& b) {
        std::string joined;
        for (auto& [t, used] : texts) {
            if (used || !centre_in(t, b)) continue;
            used = true;
            if (!joined.empty()) joined += ' ';
            joined += t.text;
        }
        return joined;
    }

private:
    std::vector<Node>& m_out;
};

std::string label_key(const std::string& where, size_t i) { return "t:" + where + ":" + std::to_string(i); }

}  // namespace

void App::a11y_start() {
    a11y::Host host;
    host.act = [this](const std::string& key, a11y::Action what) { a11y_act(key, what); };
    host.set_value = [this](const std::string& key, double v) {
        const hit_id::Id id = hit_id::parse(key);
        if (id.kind != Kind::Field) return;
        set_value(id.arg, v);
        invalidate();
    };
    host.focus = [this](const std::string& key) {
        for (const Hit* h : focus_order())
            if (h->id == key) {
                focus_id() = key;
                show_focus(*h);
                return;
            }
    };
    host.origin = [this](int* x, int* y, double* k) {
        if (m_win) SDL_GetWindowPosition(m_win, x, y);
        *k = window_units_per_unit();
    };
    host.enabled = [this] {
        invalidate();
        invalidate_over();
    };
    a11y::watch(session_bus(), std::move(host));
}

void App::a11y_act(const std::string& key, a11y::Action what) {
    const hit_id::Id id = hit_id::parse(key);
    if (what != a11y::Action::Click) {
        if (id.kind == Kind::Field) step_value(id.arg, what == a11y::Action::Increase ? +1 : -1);
        invalidate();
        return;
    }
    // As a key press on the control: the keyboard focus moves to it first.
    for (const Hit* h : focus_order())
        if (h->id == key) {
            focus_id() = key;
            into_view(*h);
            press_focused();
            invalidate();
            invalidate_over();
            return;
        }
}

void App::capture_texts(int layer) {
    m_text_layer = layer;
    if (layer < 0 || !a11y::enabled()) {
        gfx::set_text_sink(nullptr);
        return;
    }
    m_texts[layer].clear();
    m_text_sink = [this](gfx::DrawnText&& t) {
        if (t.text.empty() || m_text_layer < 0) return;
        const int group = m_text_layer == kTextPage ? static_cast<int>(m_hit_groups.size()) - 1 : kFrameGroup;
        m_texts[m_text_layer].push_back(DrawnItem{std::move(t), std::max(group, 0)});
    };
    gfx::set_text_sink(&m_text_sink);
}

void App::a11y_publish() {
    if (!a11y::enabled()) return;
    std::vector<Node> nodes;
    nodes.reserve(m_hits.size() + m_over_hits.size() + m_texts[0].size() + m_texts[1].size() + m_texts[2].size());
    Builder b(nodes);
    const std::string& focus = modal_or_menu() ? m_focus_over : m_focus_base;
    std::map<std::string, int> seen;

    // A control's object; its texts are claimed from `texts`.
    auto control = [&](const Hit& h, const std::string& parent,
                       std::vector<std::pair<gfx::DrawnText, bool>>& texts) -> Node* {
        const hit_id::Id id = hit_id::parse(h.id);
        if (skipped(id.kind)) return nullptr;
        const Role role = role_of(id.kind);
        const std::string shown = b.claim(texts, box_of(h));
        Node n{.key = h.id, .parent = parent, .role = role, .x = h.x, .y = h.y, .w = h.w, .h = h.h, .on = h.on,
               .showing = !h.hidden, .enabled = id.kind != Kind::TabOff};
        if (const int dup = seen[h.id]++; dup > 0) n.key += "#" + std::to_string(dup);
        n.focusable = focusable(h);
        n.focused = n.focusable && h.id == focus;
        n.name = !h.name.empty() ? h.name : !shown.empty() ? shown : h.tip;
        if (h.tip != n.name) n.description = h.tip;
        if (role == Role::Label) n.name = shown;
        if (role == Role::SpinButton) {
            const ValueRange r = value_range(id.arg);
            n.value = r.value;
            n.min = r.min;
            n.max = r.max;
            n.step = r.step;
            n.editable = m_edit == id.arg;
            n.text = n.editable ? m_edit_text : shown;
            n.caret = n.editable ? static_cast<int>(g_utf8_strlen(m_edit_text.c_str(), static_cast<gssize>(
                                                                                      std::min(m_edit_caret, m_edit_text.size()))))
                                 : -1;
        }
        if (role == Role::Label && n.name.empty()) return nullptr;
        return &b.add(std::move(n));
    };
    // What is left of `texts` inside `box` (all when null): labels under `parent`.
    auto labels = [&](std::vector<std::pair<gfx::DrawnText, bool>>& texts, const Box* box, const std::string& parent,
                      const std::string& where, Role role) {
        for (size_t i = 0; i < texts.size(); ++i) {
            auto& [t, used] = texts[i];
            if (used || (box && !centre_in(t, *box))) continue;
            used = true;
            b.add(Node{.key = label_key(where, i), .parent = parent, .role = role, .name = t.text, .x = t.x, .y = t.y,
                       .w = t.w, .h = t.h, .showing = !t.clipped});
        }
    };
    auto unclaimed = [](const std::vector<DrawnItem>& from, int group) {
        std::vector<std::pair<gfx::DrawnText, bool>> texts;
        for (const DrawnItem& d : from)
            if (group == kFrameGroup || d.group == group) texts.emplace_back(d.t, false);
        reading_order(texts, false, [](const std::pair<gfx::DrawnText, bool>& p) -> const gfx::DrawnText& {
            return p.first;
        });
        return texts;
    };

    // ---- The frame: menu bar, tabs, buttons, notice and status ----
    auto frame_texts = unclaimed(m_texts[kTextFrame], kFrameGroup);
    std::vector<const Hit*> frame_hits;
    for (const Hit& h : m_hits)
        if (hit_id::in_frame(hit_id::parse(h.id).kind)) frame_hits.push_back(&h);
    reading_order(frame_hits, false, [](const Hit* h) -> const Hit& { return *h; });
    Box bar{0, 0, 0, 0}, tabs{0, 0, 0, 0};
    auto grow = [](Box& a, const Hit& h) {
        if (a.w == 0) {
            a = box_of(h);
            return;
        }
        const double x1 = std::max(a.x + a.w, h.x + h.w), y1 = std::max(a.y + a.h, h.y + h.h);
        a.x = std::min(a.x, h.x);
        a.y = std::min(a.y, h.y);
        a.w = x1 - a.x;
        a.h = y1 - a.y;
    };
    for (const Hit* h : frame_hits) {
        const Kind k = hit_id::parse(h->id).kind;
        if (k == Kind::MenuTitle) grow(bar, *h);
        if (k == Kind::Tab || k == Kind::TabOff) grow(tabs, *h);
    }
    if (bar.w > 0) b.add(Node{.key = "menubar", .role = Role::MenuBar, .x = bar.x, .y = bar.y, .w = bar.w, .h = bar.h});
    if (tabs.w > 0)
        b.add(Node{.key = "tabs", .role = Role::PageTabList, .x = tabs.x, .y = tabs.y, .w = tabs.w, .h = tabs.h});
    std::string open_menu;
    for (const Hit* h : frame_hits) {
        const Kind k = hit_id::parse(h->id).kind;
        Node* n = control(*h, k == Kind::MenuTitle ? "menubar" : k == Kind::Tab || k == Kind::TabOff ? "tabs" : "",
                          frame_texts);
        if (n && k == Kind::MenuTitle && m_menu.open && m_menubar_open == h->n) open_menu = n->key;
    }
    labels(frame_texts, nullptr, "", "f", Role::Label);

    // ---- The page, panel by panel ----
    const int tab = std::clamp(m_settings.tab, 0, 1);
    const double offset = page_top() - m_scroll[tab];
    const double view_top = page_top(), view_bottom = view_top + view_height();
    std::vector<DrawnItem> page = m_texts[kTextPage];
    for (DrawnItem& d : page) {
        d.t.y += offset - m_texts_page_offset;
        d.t.clipped = d.t.y + d.t.h <= view_top || d.t.y >= view_bottom;
    }
    std::vector<size_t> starts = m_hit_groups;
    if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
    const size_t page_from = nodes.size();
    for (size_t g = 0; g < starts.size(); ++g) {
        const size_t end = g + 1 < starts.size() ? starts[g + 1] : m_page_hits.size();
        auto texts = unclaimed(page, static_cast<int>(g));
        std::vector<const Hit*> hits;
        for (size_t i = starts[g]; i < end && i < m_page_hits.size(); ++i) hits.push_back(&m_page_hits[i]);
        reading_order(hits, false, [](const Hit* h) -> const Hit& { return *h; });
        const bool table = std::any_of(hits.begin(), hits.end(),
                                       [](const Hit* h) { return hit_id::parse(h->id).kind == Kind::Compare; });
        Box whole{0, 0, 0, 0};
        for (const Hit* h : hits) grow(whole, *h);
        for (const auto& [t, used] : texts) grow(whole, Hit(t.x, t.y, t.w, t.h, ""));
        if (whole.w == 0) continue;
        const std::string key = "panel:" + std::to_string(g);
        Node panel{.key = key, .role = table ? Role::Table : Role::Panel, .x = whole.x, .y = whole.y, .w = whole.w,
                   .h = whole.h};
        panel.name = texts.empty() ? "" : texts.front().first.text;
        panel.showing = whole.y < view_bottom && whole.y + whole.h > view_top;
        b.add(std::move(panel));
        if (!texts.empty()) {
            texts.front().second = true;
            const gfx::DrawnText& t = texts.front().first;
            b.add(Node{.key = key + ":title", .parent = key, .role = Role::Heading, .name = t.text, .x = t.x,
                       .y = t.y, .w = t.w, .h = t.h, .showing = !t.clipped});
        }
        double first_row = 1e300;
        for (const Hit* h : hits)
            if (hit_id::parse(h->id).kind == Kind::Compare) first_row = std::min(first_row, h->y);
        if (table) {
            // The column heads: the texts between the title and the first row.
            std::vector<std::pair<gfx::DrawnText, bool>> heads;
            for (auto& p : texts)
                if (!p.second && p.first.y + p.first.h <= first_row + 1) {
                    heads.push_back(p);
                    p.second = true;
                }
            labels(heads, nullptr, key, "h" + std::to_string(g), Role::ColumnHeader);
        }
        for (const Hit* h : hits) {
            const Kind k = hit_id::parse(h->id).kind;
            if (k == Kind::Compare) {
                // The row's texts are its cells, claimed before the row names itself.
                std::vector<std::pair<gfx::DrawnText, bool>> cells;
                for (auto& p : texts)
                    if (!p.second && centre_in(p.first, box_of(*h))) {
                        cells.push_back(p);
                        p.second = true;
                    }
                Hit row = *h;
                if (row.name.empty())
                    for (const auto& c : cells) row.name += (row.name.empty() ? "" : " ") + c.first.text;
                std::vector<std::pair<gfx::DrawnText, bool>> none;
                if (Node* n = control(row, key, none)) {
                    const std::string row_key = n->key;
                    labels(cells, nullptr, row_key, row_key, Role::TableCell);
                }
                continue;
            }
            if (k == Kind::Tip || k == Kind::Survival) {
                // Texts under a tooltip: labels that carry it as their description.
                const size_t from = nodes.size();
                const Box tip = box_of(*h);
                labels(texts, &tip, key, h->id, Role::Label);
                for (size_t i = from; i < nodes.size(); ++i) nodes[i].description = h->tip;
                continue;
            }
            control(*h, key, texts);
        }
        labels(texts, nullptr, key, "p" + std::to_string(g), Role::Label);
    }
    // What is scrolled out of the page's view is there, but not seen.
    for (size_t i = page_from; i < nodes.size(); ++i)
        if (nodes[i].y >= view_bottom || nodes[i].y + nodes[i].h <= view_top) nodes[i].showing = false;

    // ---- The open dialogs and menu ----
    auto over = unclaimed(m_texts[kTextOver], kFrameGroup);
    std::vector<const Hit*> panels;
    for (const Hit& h : m_over_hits)
        if (is_panel(hit_id::parse(h.id).kind)) panels.push_back(&h);
    const bool rtl_dialogs = L10n::isRTL() && !m_menu.open;
    for (size_t i = 0; i < panels.size(); ++i) {
        const Hit& p = *panels[i];
        // A dialog over another (the language list over the settings) hides it.
        const bool top = i + 1 == panels.size();
        Node dialog{.key = p.id, .role = Role::Dialog, .x = p.x, .y = p.y, .w = p.w, .h = p.h};
        std::vector<std::pair<gfx::DrawnText, bool>> inside;
        for (auto& t : over)
            if (!t.second && centre_in(t.first, box_of(p)) &&
                std::none_of(panels.begin() + static_cast<long>(i) + 1, panels.end(),
                             [&](const Hit* q) { return centre_in(t.first, box_of(*q)); })) {
                inside.push_back(t);
                t.second = true;
            }
        dialog.name = inside.empty() ? "" : inside.front().first.text;
        dialog.showing = top;
        b.add(std::move(dialog));
        std::vector<const Hit*> hits;
        for (const Hit& h : m_over_hits)
            if (!is_panel(hit_id::parse(h.id).kind) && centre_in({"", h.x, h.y, h.w, h.h}, box_of(p)) &&
                std::none_of(panels.begin() + static_cast<long>(i) + 1, panels.end(),
                             [&](const Hit* q) { return centre_in({"", h.x, h.y, h.w, h.h}, box_of(*q)); }))
                hits.push_back(&h);
        reading_order(hits, rtl_dialogs, [](const Hit* h) -> const Hit& { return *h; });
        for (const Hit* h : hits)
            if (Node* n = control(*h, p.id, inside); n && !top) n->showing = false;
        labels(inside, nullptr, p.id, p.id, Role::Label);
    }
    if (m_menu.open) {
        std::string parent = open_menu;
        if (parent.empty()) {
            parent = "menu";
            b.add(Node{.key = parent, .role = Role::Menu, .x = m_menu.x, .y = m_menu.y});
        }
        for (const Hit& h : m_over_hits)
            if (hit_id::parse(h.id).kind == Kind::MenuItem) control(h, parent, over);
    }
    a11y::publish(nodes, m_W, m_H, SDL_GetWindowTitle(m_win));
}
