// The one stateful object of the window: the persisted settings, the
// calculation derived from them, the transient interface state, and the
// window with its two painted layers. Its roles live in separate files:
//   app.cpp           state and value editing
//   app_actions.cpp   what each control does, and the click dispatch
//   app_input.cpp     pointer, wheel, keys and typed text
//   app_window.cpp    the run, the window and its renderer
//   app_loop.cpp      the event loop and its timers
//   app_layers.cpp    painting the layers and putting them on screen
//   app_geometry.cpp  the window's size and place
//   app_scale.cpp     the desktop's scale and the zoom
//   app_tiles.cpp     the page layer that scrolls without repainting
//   app_desktop.cpp   theme, links and clipboard
//   app_probe.cpp     the window tests' barrier
//   view_*.cpp        one painter per page or overlay
// Hits are collected while painting (ids from hit_id.h) and input is
// resolved against the last painted frame.
#pragma once

#include <SDL.h>
#include <cairo.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "a11y.h"
#include "gfx.h"
#include "hit_id.h"
#include "raid.h"
#include "settings.h"

typedef struct _GDBusConnection GDBusConnection;

// A clickable or tooltip-carrying rectangle of the last painted frame, in
// window coordinates. The id is a small command ("disk:3", "cap:plus").
struct Hit {
    Hit() = default;
    Hit(double x_, double y_, double w_, double h_, std::string id_, int n_ = 0, std::string tip_ = "",
        bool on_ = false, bool hidden_ = false, std::string name_ = "")
        : x(x_), y(y_), w(w_), h(h_), id(std::move(id_)), n(n_), tip(std::move(tip_)), on(on_), hidden(hidden_),
          name(std::move(name_)) {}

    double x = 0, y = 0, w = 0, h = 0;
    std::string id;
    int n = 0;
    std::string tip;
    // What the control shows beyond its id, for the keyboard and the screen
    // reader: chosen, ticked or pressed; scrolled out of its panel (not
    // clickable, but reachable by the keyboard); and its name when the text
    // that names it lies outside its rectangle (a stepper's caption).
    bool on = false;
    bool hidden = false;
    std::string name;
};

// Wakes the loop when GLib's main context has work (app_glib.cpp).
class GlibWake;
struct GlibWakeStop {
    void operator()(GlibWake* w) const;
};

// Set from signal handlers, read by the main loop (main_desktop.cpp).
extern std::atomic<bool> g_sig_quit;
extern std::atomic<bool> g_sig_raise;
// SIGUSR1 raises the window, SIGTERM, SIGINT and SIGHUP end the run cleanly.
void on_signal(int sig);
// Installs on_signal for those four signals; safe to call more than once.
void install_signal_handlers();

// The legacy X11 window name beside the UTF-8 one SDL sets, for task bars
// that read only that; does nothing off X11 or without libX11.
void x11_plain_title(SDL_Window* w, const char* title);
// Whether `e` (a window-system event) says another program destroyed the
// window: SDL itself does not tell.
bool x11_window_destroyed(SDL_Window* w, const SDL_Event& e);
// The X11 atom of `name` on the window's display; 0 off X11 or without libX11.
unsigned long x11_atom(SDL_Window* w, const char* name);
// Waits until the X server has carried out every request of the window's connection.
void x11_sync(SDL_Window* w);
// Protocol errors are logged and the run goes on (Xlib would exit). A lost
// connection to the display is logged and `on_lost` runs before Xlib ends
// the process. Works without a display; call it before SDL starts its X11 video.
void x11_tolerate_errors(void (*on_lost)(void*) = nullptr, void* ctx = nullptr);

// Shared dialog and page widgets that need no App state.
// Darkens the whole window under an overlay.
void dim_window(cairo_t* cr, double W, double H, double alpha);
// One line of overlay text, centred on its row and shrunk to max_w when given.
gfx::TextStyle line_style(double size, bool bold, double max_w, gfx::Align align = gfx::Align::Left);
void modal_panel(cairo_t* cr, double x, double y, double w, double h, const Palette& p);
void button(cairo_t* cr, double x, double y, double w, double h, const std::string& label,
            bool primary, bool hot, const Palette& p);
double segmented_width(cairo_t* cr, const std::vector<std::string>& labels, double size);
// Each segment's hit is the id of `kind` with the segment's index.
void segmented_bar(cairo_t* cr, double x, double y, double h, const std::vector<std::string>& labels,
                   int active, int hover, const Palette& p, double size, std::vector<Hit>* hits,
                   hit_id::Kind kind);
// The index carried by the hovered id when it is of `kind`, else -1.
int hovered_index(const std::string& hover, hit_id::Kind kind);
// Horizontal placement inside [lo, hi] that reads from the right in
// right-to-left languages: painters lay out left to right and pass each box
// through x(), and start-anchored text through text_x() with start().
struct Mirror {
    double lo = 0, hi = 0;
    bool rtl = false;
    double x(double left, double w) const { return rtl ? lo + hi - left - w : left; }
    double text_x(double left) const { return rtl ? lo + hi - left : left; }
    gfx::Align start() const { return rtl ? gfx::Align::Right : gfx::Align::Left; }
};
// What a panel's frame remembers between paints. A panel's height is known
// only once its body has been laid out, but its rack lies under the body:
// the height seen last time lets the rack go first and the body straight
// onto the page. A panel that is new or moved goes through a group instead;
// one whose height changed asks for the page to be painted again.
struct PanelMemory {
    struct Frame {
        double x = -1, w = -1, h = -1;
        double y = -1;  // where it was painted, for a repaint of the panel alone
        unsigned pass = 0;  // the pass that painted it last
    };
    static constexpr int kPanels = 8;  // by seed
    static constexpr int kArray = 4;   // the array panel's seed
    Frame frames[kPanels];
    bool relayout = false;
    unsigned pass = 0;
};
double rack_section(cairo_t* cr, double x, double y, double w, const std::string& title, int seed,
                    const Palette& p, const std::function<double(double)>& body,
                    const std::string& right, const Rgba* right_color, PanelMemory& memory);

class App {
public:
    enum class Modal { None = 0, Settings = 1, Confirm = 2, Crash = 3, Languages = 4, GuideWarn = 5, Working = 6 };

    // A full-window image and the texture it is uploaded to, in device pixels.
    // The image and texture may be larger than the window (geometry::room):
    // pw x ph of them at the top left are in use.
    struct Layer {
        cairo_surface_t* surf = nullptr;
        SDL_Texture* tex = nullptr;
        int pw = 0, ph = 0;
        int cw = 0, ch = 0;
        // Frees the texture and the image; the layer is made again when painted.
        void release();
    };

    struct MenuItem {
        std::string label;
        std::function<void()> act;
        std::string shortcut;
        bool checked = false;
        bool separator = false;
    };

    struct Menu {
        bool open = false;
        double x = 0, y = 0;
        std::vector<MenuItem> items;
    };

    // ---- Shared measures of the window ----
    static constexpr uint32_t kCaretBlinkMs = 530;
    static constexpr double kStatusBarH = 26;
    // From this height on the banner is tall and the top band 180 high.
    static constexpr double kTallWindow = 720;
    static constexpr double kNoticeH = 34;
    // The opaque layers' pixels: cairo's RGB24 is the X server's usual
    // 24-bit visual, so the software renderer copies them to the window row
    // by row instead of converting each pixel's alpha.
    static constexpr Uint32 kOpaqueFormat = SDL_PIXELFORMAT_RGB888;

    App();
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The whole interactive run: 0 after a normal exit, 1 without a window.
    int run();

    std::string force_theme;
    int force_w = 0, force_h = 0;

    // ---- State and value editing (app.cpp) ----

    // Loads the settings from the configuration directory, applies the
    // language and restores the failure simulation: everything of a start
    // that needs no window.
    void load_state(const std::string& config_dir);
    // The failure simulation as the settings' lists hold it.
    void restore_failures();
    // The setup guide exists for the chosen level.
    bool has_guide() const;
    void invalidate() { m_dirty = true; }
    // The page's content changed: every band is painted again, the frame is kept.
    void invalidate_page() { m_page_stale = true; }
    // The page's figures changed: what the page draws differently is painted again.
    void refigure_page() { m_page_refigure = true; }
    void invalidate_header();
    // Every band of the ring to be painted afresh, what waited to be painted with them.
    void drop_page_bands();
    void invalidate_over() { m_over_dirty = true; }
    void queue_save();
    void recompute();
    void changed();
    void set_disks(int n);
    void set_spares(int n);
    void set_capacity(double v);
    void set_type(const std::string& key);
    void set_level(raid::Level l);
    // One unreadable sector per 10^exponent bits read.
    void set_ure(double exponent);
    void step_value(const std::string& what, int dir);
    std::string field_text(const std::string& what) const;
    void begin_edit(const std::string& what);
    void commit_edit();
    // A figure set to `v` as if typed: clamped to what it allows.
    void set_value(const std::string& what, double v);
    // A figure's value and what it allows, for the screen reader.
    struct ValueRange {
        double value = 0, min = 0, max = 0, step = 0;
    };
    ValueRange value_range(const std::string& what) const;
    void cancel_edit();
    std::string result_text() const;
    void settings_changed();
    void save_now();
    // Typed text for a counted field ("disks", "spares", "groups") as the
    // integer it stands for, clamped before rounding so it never wraps.
    static int typed_count(double v, int lo, int hi);
    // "0,3,5": the indices in ascending order, as the settings keep them.
    static std::string join_indices(const std::set<int>& s);
    // A notice for the user (a translation key) in the bar above the page,
    // shown until dismissed; the same notice is not queued twice.
    void notify(const std::string& key);
    void dismiss_notice();
    void withdraw_notice(const std::string& key);

    // ---- Actions (app_actions.cpp): one per control, whatever pulls it ----
    void set_theme(const std::string& theme);
    void toggle_animate();
    void toggle_os_sizes();
    void toggle_guide_warn();
    void set_unit(int unit);
    // A size preset, in GB: 1000 GB and more are set in TB.
    void set_preset(double gb);
    void set_mirror(int copies);
    void toggle_failed(bool spare, int index);
    void set_guide_pm(int pm);
    void set_guide_dev(int dev);
    void copy_result();
    // Asks before the calculation goes back to its defaults.
    void ask_reset();
    // Clears both failure sets (the "replace all" command).
    void heal();
    // Back to the default calculation, as the reset confirmation does.
    void reset_calculation();

    // ---- Window, renderer and main loop (app_window.cpp) ----

    bool init_window();
    SDL_Renderer* create_renderer();
    bool recover_renderer();
    void shutdown_window();
    void loop();
    void handle(const SDL_Event& e);
    // Milliseconds between presented frames for the renderer, focus and motion.
    uint32_t frame_interval(bool lights) const;
    void update_scale();
    void set_icon();
    static cairo_surface_t* render_icon();
    void start_warmup();
    void finish_warmup();
    // The layer at the renderer's output size, made again when it is not;
    // `made` is set when it was. False when it cannot be had.
    bool fit_layer(Layer& layer, SDL_BlendMode mode, bool* made);
    // Paints what floats over the page (paint_over) into its layer.
    void paint_over_layer();
    // Marks the user-space box as holding paint in the overlay layer.
    void over_uses(double x, double y, double w, double h);
    void paint_base(cairo_t* cr);
    void paint_base_once(cairo_t* cr);
    void paint_over(cairo_t* cr);
    bool has_overlay() const;  // a modal, a menu or a tooltip is up
    void compose();
    SDL_Rect work_area(int x, int y, bool* found) const;
    void frame_extents(int* top, int* left, int* bottom, int* right) const;
    void fit_limits(const SDL_Rect& usable);
    void place(int x, int y, int w, int h);
    void apply_geometry();
    void remember_geometry();
    // Height of the band above the page: menu bar, banner and header.
    double top_band() const;
    // Where the page area starts: below the band and the notice bar, if one shows.
    double page_top() const;
    double view_height() const;
    // Paints both layers of a W x H window at `scale` device pixels per unit
    // into PNG files, without a window (tests, benchmarks, screenshots).
    bool snapshot(double W, double H, double scale, const std::string& base_png,
                  const std::string& over_png);
    // The same into ARGB32 images of the window's device size (null skips a
    // layer); their device scale becomes `scale`.
    void snapshot(double W, double H, double scale, cairo_surface_t* base, cairo_surface_t* over);

    // ---- Scale and zoom (app_scale.cpp) ----

    // SDL window coordinate units per logical unit: 1 where SDL's units are logical.
    double window_units_per_unit() const { return m_units; }
    // The desktop's scale that SDL does not apply itself (X11's resource database).
    void read_desktop_scale();
    // The desktop's scale changed while running: the window keeps its logical size.
    void desktop_scale_changed();
    // The smallest window for the screen the window is on, and the zoom's cap with it.
    void refit();
    // The zoom in force: the saved one, held below what the screen allows.
    int zoom_percent() const;
    void set_zoom(int percent);
    // Ctrl+Plus (+1), Ctrl+Minus (-1), Ctrl+0 (0).
    void zoom_step(int dir);
    // True when `k`, held with Ctrl, was a zoom key.
    bool zoom_key(SDL_Keycode k);

    // ---- The page layer (app_tiles.cpp) ----

    // The page's device rows in a texture used as a ring: page row r lies
    // in texture row r mod ph; each band of rows records which page band it
    // holds (-1 none), so a scroll reuses what was painted.
    struct PageLayer {
        SDL_Texture* tex = nullptr;
        int pw = 0, ph = 0;
        int cw = 0, ch = 0;  // the texture's size, of which the ring uses pw x ph
        double k = 0;
        int tab = -1;
        std::vector<int> owner;
        void release();
    };
    // A rectangle to paint again, in logical units.
    struct Damage {
        double x = 0, y = 0, w = 0, h = 0;
    };
    // Paints what the view needs of the page: bands never painted and
    // damaged rectangles. True when it painted.
    bool paint_page_layer();
    // The largest texture the renderer takes, in pixels; very large when it does not say.
    SDL_Point texture_max() const;
    // Lays the page out at the window's width without drawing it; false
    // when a panel came out at another height than it was painted at.
    bool measure_page();
    // Lays the changed page out and marks what it now draws differently;
    // false when that cannot tell (a panel changed height, nothing to
    // compare with) and the whole page must be painted.
    bool damage_refigured();
    // Paints bands beside the view while nothing else happens; true when it painted.
    bool prefetch_page();
    // Device rows of the page that painting ahead fills: below the view,
    // then above it, as far as the ring has room beside the view.
    struct Rows {
        int r0 = 0, r1 = 0;
    };
    std::array<Rows, 2> ahead_rows() const;
    // Whether rows beside the view are still to be painted ahead.
    bool ahead_due() const;
    // Device rows [r0, r1) of the page that are not held, and the damage
    // there when `damage`; true when it painted.
    bool paint_rows(int r0, int r1, bool damage);
    // Paints page rows [a, b), within one turn of the ring, inside `clips`.
    bool page_pass(int a, int b, const std::vector<Damage>& clips);
    // The page with its background and focus ring into `cr`, in page
    // coordinates; keeps its hits in m_page_raw.
    // `bodies` are left without background: the panels' bodies cover them.
    void paint_page_content(cairo_t* cr, const std::vector<Damage>& bodies = {});
    // paint_page_content, noting what it draws for damage_refigured.
    void paint_noted(cairo_t* cr, const std::vector<Damage>& bodies = {});
    // The page's background: the window's as it looks unscrolled, continued
    // below the window's bottom by its last row; not inside `bodies`.
    void page_background(cairo_t* cr, const std::vector<Damage>& bodies);
    // Where the panels' opaque bodies are if a pass lays them out as they
    // were (`before`), in whole device pixels; and whether the pass did.
    std::vector<Damage> panel_bodies(const PanelMemory& before) const;
    bool panels_stayed(const PanelMemory& before) const;
    // The controls `id` names look different now (hover): their rectangles.
    void invalidate_hit(const std::string& id);
    // The field being typed into: its text and caret change, nothing else.
    void invalidate_edit() { invalidate_hit(hit_id::make(hit_id::Kind::Field, m_edit)); }
    // The page moved under the view: a frame, but nothing to paint.
    void view_moved() { m_view_moved = true; }
    // Page hits into window coordinates for the current scroll.
    void place_hits();
    // Something of the base layer or the page is due for the next frame.
    bool base_due() const;
    // The frame around the page: background, header, notice and status bar.
    void paint_chrome(cairo_t* cr);
    // The frame's layer: whole, or only its damaged rectangles.
    void paint_chrome_layer();
    // The page's rows and its scroll bar on screen.
    void compose_page();
    void compose_scrollbar();

    // ---- Test probe (app_probe.cpp) ----

    // Reads the test-only environment; call once the window exists.
    void probe_start();
    void probe_event(const SDL_Event& e);
    // A ping waits and everything before it is on screen.
    bool probe_due() const;
    void probe_answer();
    void probe_delay() const;

    // ---- GLib's main context in the loop (app_glib.cpp) ----

    // Starts the thread that wakes the loop when the context has work.
    void glib_start();
    // Dispatches what is ready and hands the context's descriptors to the thread.
    void glib_turn();

    // ---- Screen reader (app_a11y.cpp) ----

    static constexpr int kTextFrame = 0, kTextPage = 1, kTextOver = 2;
    // A text as drawn, with the page panel it belongs to.
    struct DrawnItem {
        gfx::DrawnText t;
        int group = 0;
    };
    // Watches for assistive technology; the tree is published once it asks.
    void a11y_start();
    void a11y_act(const std::string& key, a11y::Action what);
    // Texts drawn from now on belong to `layer` (kText*), or to none (-1).
    void capture_texts(int layer);
    // The tree of the frame just shown.
    void a11y_publish();

    // ---- Keyboard focus (app_focus.cpp) ----

    // What the keyboard can reach: what the pointer can act on, a stepper by its field.
    static bool focusable(const Hit& h);
    // The focusable controls of the active layer, in reading order.
    std::vector<const Hit*> focus_order() const;
    // The focused id of the active layer (the page's or the dialog's).
    std::string& focus_id();
    const Hit* focused_hit() const;
    // Tab (+1) and Shift+Tab (-1); the control reached is scrolled into view.
    void move_focus(int dir);
    void show_focus(const Hit& h);
    // Scrolls the page or the open panel so that `h` shows whole; true when it moved.
    bool into_view(const Hit& h);
    // After a repaint: the control the keyboard just acted on is kept in
    // view when the action moved it (a longer result pushes rows down).
    void follow_focus();
    // Space and Enter: what a click does, or typing for a field. False
    // when nothing has the focus.
    bool press_focused();
    // The value name of a focused stepper, or "".
    std::string focused_value() const;
    // After painting: a dialog that just opened takes the focus.
    void settle_focus();
    // Keys the focused control takes before the page-wide shortcuts: Tab,
    // Space, Enter and, on a stepper, Up, Down, + and −. True when taken.
    bool focus_key(const SDL_Keysym& ks);
    // A click gives the focus to the control clicked (a stepper's button to
    // its field); a click on nothing focusable takes it away.
    void focus_clicked(const Hit* h);
    // False when `id` is not among `hits`.
    bool paint_focus_ring(cairo_t* cr, const std::vector<Hit>& hits, const std::string& id) const;

    // ---- Input dispatch (app_input.cpp) ----

    const Hit* hit_at(double x, double y, bool over) const;
    void mouse_down(double x, double y, int button, int clicks);
    void mouse_up(double x, double y, int button);
    void mouse_move(double x, double y);
    // The pointer's shape for what it is over.
    void set_pointer(hit_id::Pointer pointer);
    // dy in wheel steps, negative up; a touchpad's fractions scroll smoothly.
    void wheel(double x, double y, double dy);
    void key(const SDL_Keysym& ks);
    void text_input(const char* utf8);
    void page_click(const Hit& hit, int button);
    void select_tab(int tab);
    void scroll_page(double dy);
    // After any scroll: hides the tooltip and looks again at what is under
    // the pointer once the scrolled frame is painted.
    void scrolled();
    // The largest page offset the content of the last frame allows.
    double max_scroll() const;
    // Holds the overlays' scroll offsets to the layout of the last frame;
    // run before painting, so painters only read them.
    void settle_scrolls();
    // Scrolls the current page to an absolute offset (clamped).
    void scroll_to(double offset);
    // Closes the drop-down menu and runs item i (nothing for an invalid i).
    void activate_menu_item(int i);
    // Up/Down choose an item, Enter runs it, Left/Right move along the menu
    // bar; true when the key was the menu's.
    bool menu_key(SDL_Keycode k);
    bool modal_or_menu() const { return m_modal != Modal::None || m_menu.open; }

    // ---- Desktop bridges (app_desktop.cpp) ----

    void apply_theme();
    // The session bus, or null without one; never starts a bus daemon.
    static GDBusConnection* session_bus();
    bool system_prefers_dark();
    void watch_system_theme();
    void open_url(const std::string& url);
    void copy(const std::string& s);

    // ---- Frame: menu bar, header and status bar (view_frame.cpp) ----

    std::vector<MenuItem> menubar_items(int index);
    void open_menubar(int index);
    // Left edge and width of the menu-bar title `index`.
    void menubar_slot(cairo_t* cr, int index, double* x, double* w) const;
    void paint_header(cairo_t* cr, double W);
    // What the header shows of the calculation; the Guide tab's look
    // follows the level, so whether there is a guide counts too.
    struct HeaderSummary {
        std::string left, right;
        bool ok = false, guide = false;
        bool operator==(const HeaderSummary&) const = default;
    };
    HeaderSummary header_summary() const;
    // Where the header row starts, under the menu bar and the banner.
    double header_row_top() const;
    void paint_statusbar(cairo_t* cr, double W, double y);
    // The notice bar under the header, when a notice waits.
    void paint_notice(cairo_t* cr, double W, double y);
    // The page's scroll bar along the right edge, for a view of `view` from `top`.
    void paint_scrollbar(cairo_t* cr, double top, double view);

    // ---- Calculator page (view_main*.cpp) ----

    double paint_page(cairo_t* cr, double W);
    // `name` is the caption it stands under, the name a screen reader speaks.
    void stepper(cairo_t* cr, double x, double y, double w, double h, const std::string& id,
                 const std::string& value, const std::string& unit, const std::string& tip,
                 const std::string& name = "");
    void chip(cairo_t* cr, double x, double y, double w, double h, const std::string& id, int n,
              const std::string& label, bool on, double label_size, const std::string& tip);
    // One line of text held to st.max_w; when it had to be cut short, its
    // place gets the whole text as a tooltip. Returns the width used.
    double fit_label(cairo_t* cr, const std::string& s, double x, double y, const Rgba& c, gfx::TextStyle st);
    double paint_config(cairo_t* cr, double x, double y, double w);
    double paint_levels(cairo_t* cr, double x, double y, double w);
    double paint_result(cairo_t* cr, double x, double y, double w);
    // The data safety part of the result panel, from `top`; returns its bottom.
    double paint_safety(cairo_t* cr, double L, double top, double CW);
    double paint_compare(cairo_t* cr, double x, double y, double w);
    double paint_array(cairo_t* cr, double x, double y, double w);

    // ---- Guide page (view_guide.cpp) ----

    double paint_guide(cairo_t* cr, double W);

    // ---- Overlays (view_settings*.cpp) ----

    void open_settings(int tab);
    void paint_settings(cairo_t* cr, double W, double H);
    void paint_languages(cairo_t* cr, double W, double H);
    // The three tabs of the settings panel, painted from the content's top
    // left at y; each returns the bottom of what it painted.
    double paint_settings_general(cairo_t* cr, double left, double y, double cw);
    double paint_settings_about(cairo_t* cr, double left, double y, double cw);
    double paint_settings_keys(cairo_t* cr, double left, double y, double cw);
    // A section heading with its rule; returns the top of the next row.
    double settings_heading(cairo_t* cr, const std::string& label, double x, double y, double w);
    // The interface size row: its label and a stepper in the value column;
    // returns the top of the stepper's row.
    double settings_zoom(cairo_t* cr, double left, double y, double cw, double value_x, double label_w);
    // An on/off switch row with its hit; returns the row's bottom.
    double settings_switch(cairo_t* cr, const std::string& id, const std::string& label,
                           const std::string& note, bool on, double x, double y, double w);
    void over_click(const Hit& hit);
    void confirm(const std::string& text, const std::string& ok, std::function<void()> act);
    void open_menu(double x, double y, std::vector<MenuItem> items);
    void paint_confirm(cairo_t* cr, double W, double H, bool crash);
    void paint_guide_warn(cairo_t* cr, double W, double H);
    void paint_menu(cairo_t* cr);
    void paint_tooltip(cairo_t* cr);
    // The working behind the failure-risk figures (view_working.cpp).
    void open_working();
    void paint_working(cairo_t* cr, double W, double H);

    // ---- State (read by views and tests; changed through the functions above) ----

    raid::Config m_cfg;
    raid::Result m_res;
    std::set<int> m_failed;
    std::set<int> m_failed_spares;
    bool m_gpu_lost = false;
    uint32_t m_gpu_retry_at = 0;
    int m_gpu_retry_left = 0;
    SDL_Window* m_win = nullptr;
    SDL_Renderer* m_ren = nullptr;
    SDL_BlendMode m_premul = SDL_BLENDMODE_BLEND;
    bool m_software = false;
    Layer m_base, m_over;
    // The device pixels of the overlay layer that may hold paint; the rest
    // is transparent. A tooltip alone is a small box: at 4K a whole layer
    // costs milliseconds to clear, upload and blend at every frame.
    SDL_Rect m_over_used{};
    double m_k = 1.0;
    double m_W = 0, m_H = 0;
    // Scale: the desktop's part SDL leaves to the program, window units per
    // logical unit, the largest zoom the screen allows, the window's size in
    // window units as last seen, and the wheel's fractions not yet stepped.
    double m_desktop_scale = 1, m_units = 1;
    int m_zoom_cap = 300;
    int m_win_w = 0, m_win_h = 0;
    double m_wheel_rest = 0;
    bool m_dirty = true, m_over_dirty = true, m_has_over = false, m_running = true, m_moving = false;
    uint32_t m_save_at = 0;
    int m_req_x = 0, m_req_y = 0;
    int m_frame_dx = 0, m_frame_dy = 0;
    uint32_t m_frame_check_at = 0;
    bool m_dark = false;
    // The desktop's last known light or dark preference.
    bool m_system_dark = false;
    Palette m_pal;
    Settings m_settings;
    std::string m_config_dir;
    unsigned m_portal_sub = 0;
    uint32_t m_copied_until = 0;
    std::vector<Hit> m_hits, m_over_hits;
    std::string m_hover, m_over_hover;
    double m_mx = -1, m_my = -1;
    uint32_t m_hover_since = 0;
    bool m_tip_shown = false;
    bool m_rehover = false;
    // Keyboard focus: the page's, the open dialog's, whether the ring shows,
    // and which dialog the dialog's focus belongs to (-1 a menu, 0 none).
    std::string m_focus_base, m_focus_over;
    bool m_focus_ring = false;
    bool m_focus_follow = false;
    int m_focus_layer = 0;
    // The dialogs under the open one and the focus each had.
    std::vector<std::pair<int, std::string>> m_focus_back;
    // The page's hits whole (not cut to the page area), and where each
    // panel's hits start among them.
    std::vector<Hit> m_page_hits;
    std::vector<size_t> m_hit_groups;
    std::unique_ptr<GlibWake, GlibWakeStop> m_glib;
    // The texts of the last frame for the screen reader, by layer; page
    // texts were drawn with the page `m_texts_page_offset` down the window.
    std::vector<DrawnItem> m_texts[3];
    double m_texts_page_offset = 0;
    int m_text_layer = -1;
    gfx::TextSink m_text_sink;
    hit_id::Pointer m_pointer = hit_id::Pointer::Arrow;
    SDL_Cursor* m_cursors[3] = {nullptr, nullptr, nullptr};  // by Pointer, made when first needed
    // The turn of the wheel under way: it scrolls the page, when, where.
    bool m_wheel_scrolls = false;
    uint32_t m_wheel_at = 0;
    double m_wheel_x = -1, m_wheel_y = -1;  // look at the hit under the pointer after the next paint
    std::string m_hold;
    uint32_t m_hold_next = 0;
    std::string m_edit;
    std::string m_edit_text;
    std::string m_edit_shown;  // the field's text when the edit began
    size_t m_edit_caret = 0;
    bool m_caret_on = true;
    uint32_t m_blink_at = 0;
    int m_menubar_open = -1;
    double m_scroll[2] = {0, 0};
    double m_content_h[2] = {0, 0};
    std::vector<std::string> m_cmds;
    int m_copied_cmd = -1;
    Menu m_menu;
    Modal m_modal = Modal::None;
    std::string m_confirm_text, m_confirm_ok;
    std::function<void()> m_confirm_act;
    int m_set_tab = 0;
    double m_set_scroll = 0, m_set_content_h = 0, m_set_view_h = 0, m_lang_scroll = 0;
    double m_lang_content_h = 0, m_lang_view_h = 0;
    double m_work_scroll = 0, m_work_content_h = 0, m_work_view_h = 0;
    // Where the scrolled part of each overlay starts (layout of the last frame).
    double m_set_view_top = 0, m_lang_view_top = 0, m_work_view_top = 0;
    bool m_guide_warned = false;
    // Notices waiting to be read, oldest first: the first one shows.
    std::vector<std::string> m_notices;
    // A crash report is being mailed: its outcome may need a notice.
    bool m_watch_send = false;
    PanelMemory m_panels;
    // The last window geometry written to the log, so an unchanged one is not repeated.
    std::string m_logged_geometry;

    // The page layer, the rectangles due for a repaint (page ones in page
    // coordinates, the frame's in the window's), the page's hits as painted
    // (page coordinates) and the frame's, and the scroll bar's texture.
    PageLayer m_page;
    std::vector<Damage> m_page_damage, m_chrome_damage;
    std::vector<Hit> m_page_raw, m_chrome_hits;
    Layer m_thumb;
    bool m_view_moved = false;
    bool m_page_stale = false, m_page_refigure = false;
    // What the last pass drew over the whole calculator page (gfx::record).
    std::vector<gfx::Drawn> m_drawn;
    bool m_drawn_ok = false;
    uint32_t m_last_input = 0;

    // Loop bookkeeping.
    uint32_t m_loop_start = 0;
    bool m_startup_confirmed = false;
    uint32_t m_last_present = 0;
    uint32_t m_last_step = 0;
    bool m_focus = true;
    // A settings file exists but could not be read: never save over it.
    bool m_keep_file = false;
    // Counters for the tests and benchmarks: repaints of each layer, and
    // passes that painted bands of the page beside the view ahead of need.
    uint64_t m_base_paints = 0, m_over_paints = 0, m_frames = 0, m_ahead_paints = 0;
    // Start-up preparation on a second thread (app_warm.cpp).
    std::jthread m_warm;
    struct _PangoFontMap* m_warm_fonts = nullptr;
    cairo_surface_t* m_warm_icon = nullptr;
    // Test probe: the answer file, the ping's atom, the ping waiting (-1 none).
    std::string m_probe_path;
    unsigned long m_probe_atom = 0;
    long m_probe_seq = -1;
    int m_paint_delay_ms = 0;
    // The keys the window was given, for a test's report on a key it missed.
    uint64_t m_keys_seen = 0;
    SDL_Keysym m_last_key{};
    // From a click, key or wheel step to the frame that shows its effect.
    uint32_t m_input_at = 0, m_input_worst_ms = 0;
    uint64_t m_inputs_shown = 0, m_input_total_ms = 0;
    // The same for the benchmarks, in microseconds of the clock and of this
    // thread's processor time, hover and resize included: when the event was
    // handled, how many frames showed one, and what the last of them took.
    uint64_t m_timed_us = 0, m_timed_cpu_us = 0;
    uint64_t m_shown_n = 0, m_shown_us = 0, m_shown_cpu_us = 0;
};
