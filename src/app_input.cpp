// Input: pointer, wheel, keys and typed text are resolved against the hit
// lists of the last painted frame (the one painted last wins); a click goes
// on to the dispatch of app_actions.cpp, keys to the same actions. Scrolling
// of the page and the overlays lives here too.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app.h"
#include "gpu.h"
#include "hit_id.h"
#include "logger.h"
#include "raid.h"

namespace {

constexpr double kWheelStepPage = 90;
constexpr uint32_t kWheelGestureMs = 500;  // a pause this long ends a turn of the wheel
constexpr double kWheelStepPanel = 60;
constexpr double kKeyScroll = 60;
constexpr double kPageScrollShare = 0.85;
constexpr size_t kEditMaxBytes = 13;
constexpr int kMenuCount = 4;

// The kind of the hit at a point of the last frame, or None.
hit_id::Kind kind_of(const Hit* h) { return h ? hit_id::parse(h->id).kind : hit_id::Kind::None; }

// Only what a number can hold: digits and either decimal mark.
std::string number_chars(const char* utf8) {
    std::string keep;
    for (const char* p = utf8; *p; ++p)
        if ((*p >= '0' && *p <= '9') || *p == ',' || *p == '.') keep += *p;
    return keep;
}

size_t prev_char(const std::string& s, size_t i) {
    if (i == 0) return 0;
    --i;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return i;
}

size_t next_char(const std::string& s, size_t i) {
    if (i >= s.size()) return s.size();
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

}  // namespace

using hit_id::Kind;

bool App::zoom_key(SDL_Keycode k) {
    // "=" is where "+" is without Shift on many keyboards.
    if (k == SDLK_PLUS || k == SDLK_EQUALS || k == SDLK_KP_PLUS)
        zoom_step(+1);
    else if (k == SDLK_MINUS || k == SDLK_KP_MINUS)
        zoom_step(-1);
    else if (k == SDLK_0 || k == SDLK_KP_0)
        zoom_step(0);
    else
        return false;
    return true;
}

const Hit* App::hit_at(double x, double y, bool over) const {
    const std::vector<Hit>& list = over ? m_over_hits : m_hits;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (!it->hidden && x >= it->x && y >= it->y && x < it->x + it->w && y < it->y + it->h) return &*it;
    return nullptr;
}

void App::mouse_down(double x, double y, int button, int /*clicks*/) {
    if (m_focus_ring) {
        // As in other desktop programs the ring is for the keyboard: a click hides it.
        m_focus_ring = false;
        invalidate();
        invalidate_over();
    }
    if (m_tip_shown) {
        m_tip_shown = false;
        invalidate_over();
    }
    if (m_menu.open) {
        const Hit* h = hit_at(x, y, true);
        if (kind_of(h) == Kind::MenuItem) {
            activate_menu_item(h->n);
            return;
        }
        const Hit* b = hit_at(x, y, false);
        const int was = m_menubar_open;
        m_menu.open = false;
        m_menubar_open = -1;
        invalidate();
        invalidate_over();
        if (kind_of(b) == Kind::MenuTitle && b->n != was) open_menubar(b->n);
        return;
    }
    if (m_modal != Modal::None) {
        const Hit* h = hit_at(x, y, true);
        focus_clicked(h);
        if (h) {
            const Hit copy = *h;
            over_click(copy);
        } else if (m_modal == Modal::Settings || m_modal == Modal::Working) {
            m_modal = Modal::None;
            invalidate_over();
        } else if (m_modal == Modal::Languages) {
            m_modal = Modal::Settings;
            invalidate_over();
        }
        return;
    }
    const Hit* found = hit_at(x, y, false);
    focus_clicked(found);
    if (!found) {
        commit_edit();
        return;
    }
    const Hit h = *found;  // the lists change while the click acts
    if (!m_edit.empty() && h.id != m_edit + ":field") commit_edit();
    if (hit_id::parse(h.id).kind == Kind::MenuTitle) {
        open_menubar(h.n);
        return;
    }
    if (button == 1) page_click(h, 1);
}

void App::activate_menu_item(int i) {
    if (i < 0 || i >= static_cast<int>(m_menu.items.size())) return;
    const std::function<void()> act = m_menu.items[i].act;
    m_menu.open = false;
    m_menubar_open = -1;
    m_over_hover.clear();
    invalidate();
    invalidate_over();
    if (act) act();
}

bool App::menu_key(SDL_Keycode k) {
    const int count = static_cast<int>(m_menu.items.size());
    const hit_id::Id hovered = hit_id::parse(m_over_hover);
    const int cur = hovered.kind == Kind::MenuItem ? hovered.n() : -1;
    if (k == SDLK_UP || k == SDLK_DOWN) {
        const int d = k == SDLK_DOWN ? 1 : -1;
        int i = cur < 0 ? (d > 0 ? -1 : count) : cur;
        for (int n = 0; n < count; ++n) {
            i = (i + d + count) % count;
            if (!m_menu.items[i].separator) break;
        }
        if (count > 0 && !m_menu.items[i].separator) m_over_hover = hit_id::make(Kind::MenuItem, i);
    } else if (k == SDLK_RETURN || k == SDLK_KP_ENTER || k == SDLK_SPACE) {
        activate_menu_item(cur);
        return true;
    } else if (k == SDLK_F10) {
        // As in other programs, the key that opens the menu bar closes it.
        m_menu.open = false;
        m_menubar_open = -1;
        invalidate();
    } else if ((k == SDLK_LEFT || k == SDLK_RIGHT) && m_menubar_open >= 0) {
        open_menubar((m_menubar_open + (k == SDLK_RIGHT ? 1 : kMenuCount - 1)) % kMenuCount);
        m_over_hover = hit_id::make(Kind::MenuItem, 0);
    } else {
        return false;
    }
    m_tip_shown = false;
    invalidate_over();
    return true;
}

void App::mouse_up(double /*x*/, double /*y*/, int /*button*/) { m_hold.clear(); }

void App::mouse_move(double x, double y) {
    if (x != m_wheel_x || y != m_wheel_y) m_wheel_scrolls = false;
    m_mx = x;
    m_my = y;
    if (m_menubar_open >= 0 && m_menu.open) {
        const Hit* b = hit_at(x, y, false);
        if (kind_of(b) == Kind::MenuTitle && b->n != m_menubar_open) open_menubar(b->n);
    }
    const bool over = modal_or_menu();
    const Hit* h = hit_at(x, y, over);
    const std::string id = h ? h->id : "";
    if (!m_hold.empty() && m_hold != id) m_hold.clear();
    set_pointer(hit_id::pointer_of(hit_id::parse(id).kind));
    std::string& hover = over ? m_over_hover : m_hover;
    if (id != hover) {
        m_hover_since = SDL_GetTicks();
        if (m_tip_shown) {
            m_tip_shown = false;
            invalidate_over();
        }
        if (over) {
            invalidate_over();
        } else {
            // Only the two controls whose look changed.
            invalidate_hit(hover);
            invalidate_hit(id);
        }
        hover = id;
    }
}

void App::set_pointer(hit_id::Pointer pointer) {
    if (pointer == m_pointer || !m_win) return;
    m_pointer = pointer;
    const SDL_SystemCursor id = pointer == hit_id::Pointer::Hand   ? SDL_SYSTEM_CURSOR_HAND
                                : pointer == hit_id::Pointer::Text ? SDL_SYSTEM_CURSOR_IBEAM
                                                                   : SDL_SYSTEM_CURSOR_ARROW;
    SDL_Cursor*& cursor = m_cursors[static_cast<int>(pointer)];
    if (!cursor) cursor = SDL_CreateSystemCursor(id);
    if (cursor) SDL_SetCursor(cursor);
}

void App::wheel(double x, double y, double dy) {
    if (m_modal == Modal::Languages || m_modal == Modal::Settings || m_modal == Modal::Working) {
        (m_modal == Modal::Languages ? m_lang_scroll : m_modal == Modal::Working ? m_work_scroll : m_set_scroll) +=
            kWheelStepPanel * dy;
        settle_scrolls();
        invalidate_over();
        scrolled();
        return;
    }
    if (modal_or_menu()) return;
    // A turn of the wheel that scrolls the page goes on scrolling it while
    // the pointer rests, even when the page has slid a stepper under it.
    const uint32_t now = SDL_GetTicks();
    const bool same_gesture = m_wheel_scrolls && now - m_wheel_at < kWheelGestureMs && x == m_wheel_x && y == m_wheel_y;
    m_wheel_at = now;
    m_wheel_x = x;
    m_wheel_y = y;
    if (!same_gesture) {
        m_wheel_scrolls = false;
        if (const Hit* h = hit_at(x, y, false)) {
            const hit_id::Id id = hit_id::parse(h->id);
            const bool value = id.kind == Kind::StepUp || id.kind == Kind::StepDown || id.kind == Kind::Field;
            if (value && m_edit.empty()) {
                // A wheel's step is a value's step; a touchpad's fractions add up to one.
                m_wheel_rest = dy == std::round(dy) ? dy : m_wheel_rest + dy;
                for (; m_wheel_rest <= -1; m_wheel_rest += 1) step_value(id.arg, +1);
                for (; m_wheel_rest >= 1; m_wheel_rest -= 1) step_value(id.arg, -1);
                return;
            }
        }
    }
    if (y >= page_top() && y < m_H - kStatusBarH) {
        m_wheel_scrolls = true;
        scroll_page(kWheelStepPage * dy);
    }
}

void App::settle_scrolls() {
    m_set_scroll = std::clamp(m_set_scroll, 0.0, std::max(0.0, m_set_content_h - m_set_view_h));
    m_lang_scroll = std::clamp(m_lang_scroll, 0.0, std::max(0.0, m_lang_content_h - m_lang_view_h));
    m_work_scroll = std::clamp(m_work_scroll, 0.0, std::max(0.0, m_work_content_h - m_work_view_h));
}

double App::max_scroll() const {
    const int tab = std::clamp(m_settings.tab, 0, 1);
    return std::max(0.0, m_content_h[tab] - view_height());
}

void App::scrolled() {
    // The tooltip and the hover highlight belonged to what was under the
    // pointer before; what is there now is known once the frame is painted.
    if (m_tip_shown) {
        m_tip_shown = false;
        invalidate_over();
    }
    m_hover_since = SDL_GetTicks();
    m_rehover = true;
    view_moved();
}

void App::scroll_to(double offset) {
    m_scroll[std::clamp(m_settings.tab, 0, 1)] = std::clamp(offset, 0.0, max_scroll());
    scrolled();
}

void App::scroll_page(double dy) {
    // A page that became shorter keeps its offset until the user scrolls:
    // nothing moves under the pointer. Scrolling up then closes the gap at
    // the bottom step by step; down there is nothing more to show.
    double& offset = m_scroll[std::clamp(m_settings.tab, 0, 1)];
    offset = std::clamp(offset + dy, 0.0, std::max(max_scroll(), offset));
    scrolled();
}

void App::select_tab(int tab) {
    commit_edit();
    tab = std::clamp(tab, 0, 1);
    if (tab == 1 && !has_guide()) tab = 0;
    m_settings.tab = tab;
    if (tab == 0) {
        gpu::restart_intro();
        m_moving = true;
    } else if (m_settings.guide_warn && !m_guide_warned) {
        m_menu.open = false;
        m_menubar_open = -1;
        m_modal = Modal::GuideWarn;
        invalidate_over();
    }
    invalidate();
    queue_save();
}

void App::text_input(const char* utf8) {
    if (m_edit.empty()) return;
    const std::string keep = number_chars(utf8);
    if (!keep.empty() && m_edit_text.size() < kEditMaxBytes) {
        const std::string add = keep.substr(0, kEditMaxBytes - m_edit_text.size());
        m_edit_text.insert(m_edit_caret, add);
        m_edit_caret += add.size();
    }
    m_caret_on = true;
    m_blink_at = SDL_GetTicks() + kCaretBlinkMs;
    invalidate_edit();
}

void App::key(const SDL_Keysym& ks) {
    const bool ctrl = (ks.mod & KMOD_CTRL) != 0;
    const SDL_Keycode k = ks.sym;
    if (!m_edit.empty()) {
        bool caret = true;
        if (k == SDLK_BACKSPACE) {
            const size_t p = prev_char(m_edit_text, m_edit_caret);
            m_edit_text.erase(p, m_edit_caret - p);
            m_edit_caret = p;
        } else if (k == SDLK_DELETE) {
            m_edit_text.erase(m_edit_caret, next_char(m_edit_text, m_edit_caret) - m_edit_caret);
        } else if (k == SDLK_LEFT) {
            m_edit_caret = prev_char(m_edit_text, m_edit_caret);
        } else if (k == SDLK_RIGHT) {
            m_edit_caret = next_char(m_edit_text, m_edit_caret);
        } else if (k == SDLK_HOME) {
            m_edit_caret = 0;
        } else if (k == SDLK_END) {
            m_edit_caret = m_edit_text.size();
        } else if (k == SDLK_TAB) {
            // Typing ends as a click elsewhere ends it, then the focus moves on.
            commit_edit();
            move_focus((ks.mod & KMOD_SHIFT) ? -1 : +1);
            caret = false;
        } else if (k == SDLK_RETURN || k == SDLK_KP_ENTER) {
            commit_edit();
            caret = false;
        } else if (k == SDLK_ESCAPE) {
            cancel_edit();
            caret = false;
        } else if (ctrl && k == SDLK_a) {
            m_edit_text.clear();
            m_edit_caret = 0;
        } else if (ctrl && k == SDLK_v) {
            // Pasted text passes the same filter and limit as typed text.
            if (char* clip = SDL_GetClipboardText()) {
                const std::string keep = number_chars(clip);
                SDL_free(clip);
                const size_t room = kEditMaxBytes - std::min(kEditMaxBytes, m_edit_text.size());
                const std::string add = keep.substr(0, room);
                m_edit_text.insert(m_edit_caret, add);
                m_edit_caret += add.size();
            }
        } else if (k == SDLK_UP || k == SDLK_DOWN) {
            const std::string f = m_edit;
            commit_edit();
            step_value(f, k == SDLK_UP ? +1 : -1);
            caret = false;
        } else {
            caret = false;
        }
        if (caret) {
            m_caret_on = true;
            m_blink_at = SDL_GetTicks() + kCaretBlinkMs;
            invalidate_edit();
        }
        return;
    }

    if (m_menu.open && menu_key(k)) return;
    if (focus_key(ks)) return;
    if (k == SDLK_ESCAPE) {
        if (m_menu.open) {
            m_menu.open = false;
            m_menubar_open = -1;
            invalidate();
        } else if (m_modal == Modal::Languages) {
            m_modal = Modal::Settings;
        } else if (m_modal == Modal::Settings || m_modal == Modal::Confirm || m_modal == Modal::Working) {
            m_modal = Modal::None;
        } else if (m_modal == Modal::GuideWarn) {
            m_modal = Modal::None;
            select_tab(0);
        }
        invalidate_over();
        return;
    }
    if (ctrl && zoom_key(k)) return;
    if (m_modal != Modal::None) return;

    const double page = kPageScrollShare * view_height();
    const int tab = std::clamp(m_settings.tab, 0, 1);
    if (ctrl) {
        if (k == SDLK_TAB) {
            if (has_guide()) select_tab(m_settings.tab == 0 ? 1 : 0);
        } else if (k == SDLK_COMMA) {
            open_settings(0);
        } else if (k >= SDLK_1 && k <= SDLK_9) {
            set_level(raid::kLevels[k - SDLK_1]);
        } else if (k == SDLK_c) {
            copy_result();
        } else if (k == SDLK_q) {
            logger::info("quit by Ctrl+Q");
            m_running = false;
        }
        return;
    }
    switch (k) {
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS:
        step_value("disks", +1);
        break;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        step_value("disks", -1);
        break;
    case SDLK_F1:
        open_settings(2);
        break;
    case SDLK_F10:
        open_menubar(0);
        m_over_hover = hit_id::make(Kind::MenuItem, 0);
        break;
    case SDLK_HOME:
        scroll_to(0);
        break;
    case SDLK_END:
        scroll_to(m_content_h[tab]);
        break;
    case SDLK_PAGEUP:
        scroll_page(-page);
        break;
    case SDLK_PAGEDOWN:
        scroll_page(page);
        break;
    case SDLK_UP:
        scroll_page(-kKeyScroll);
        break;
    case SDLK_DOWN:
        scroll_page(kKeyScroll);
        break;
    default:
        break;
    }
}
