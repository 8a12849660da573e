// The guide page painted without a window: the commands it lists (and copies)
// match what "--guide" prints for the same array, package manager and disk
// names; the switches and copy buttons are where the hits say and never
// overlap; only the copied command's button shows the copied mark.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <string>
#include <vector>

#include "app.h"
#include "guide.h"
#include "kit.h"
#include "l10n.h"

namespace {

struct Case {
    const char* level;
    int disks, spares, mirror, groups;
};

// Every level the guide builds, with spares, mirrors and groups that change
// the commands, plus the two it refuses.
const Case kCases[] = {
    {"raid0", 5, 2, 2, 2},  {"raid1", 3, 1, 2, 2},  {"raid5", 5, 1, 2, 2},   {"raid6", 9, 1, 2, 2},
    {"raid10", 6, 0, 3, 2}, {"raid50", 11, 2, 2, 3}, {"raid60", 11, 3, 2, 2}, {"jbod", 4, 0, 2, 2},
    {"raidtp", 6, 0, 2, 2},
};

constexpr double kWide = 1920, kNarrow = 480;
constexpr int kProbe = 16;  // side of the patch painted to read one pixel

struct Page {
    std::vector<std::string> cmds;
    std::vector<Hit> hits;
    double height = 0;
};

void configure(App& app, const Case& c, int pm, int dev) {
    app.m_settings.level = c.level;
    app.m_settings.disks = c.disks;
    app.m_settings.spares = c.spares;
    app.m_settings.mirror = c.mirror;
    app.m_settings.groups = c.groups;
    app.m_settings.cap_value = 4;
    app.m_settings.cap_unit = 2;
    app.m_settings.guide_pm = pm;
    app.m_settings.guide_dev = dev;
    app.recompute();
}

// Paints the page W wide into a patch around (x, y) of the page and returns
// the pixel there; the page's commands and hits go to `page`.
Rgba paint(App& app, double W, Page* page, double x = 0, double y = 0) {
    app.m_pal = Palette::make(app.m_dark);
    app.m_hits.clear();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kProbe, kProbe);
    cairo_t* cr = cairo_create(s);
    cairo_translate(cr, kProbe / 2 - std::floor(x), kProbe / 2 - std::floor(y));
    const double h = app.paint_guide(cr, W);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + kProbe / 2 * cairo_image_surface_get_stride(s);
    const uint32_t v = reinterpret_cast<const uint32_t*>(row)[kProbe / 2];
    cairo_surface_destroy(s);
    if (page) {
        page->height = h;
        page->cmds = app.m_cmds;
        page->hits = app.m_hits;
    }
    return Rgba{(v >> 16 & 0xFF) / 255.0, (v >> 8 & 0xFF) / 255.0, (v & 0xFF) / 255.0, (v >> 24) / 255.0};
}

// The pixel at (x, y) of the page as it stands.
Rgba pixel(App& app, double W, double x, double y) { return paint(app, W, nullptr, x, y); }

std::string find_cmd(const std::vector<std::string>& cmds, const std::string& start) {
    for (const std::string& c : cmds)
        if (c.rfind(start, 0) == 0) return c;
    return "";
}

// The commands of "--guide": every printed line that is neither a comment,
// a heading nor empty.
kit::Run cli_guide(const Case& c, int pm, int dev, std::vector<std::string>* cmds) {
    std::vector<std::string> args = {"--guide", c.level, std::to_string(c.disks), "4TB", std::to_string(c.spares),
                                     "--mirror", std::to_string(c.mirror), "--groups", std::to_string(c.groups),
                                     "--pm", guide::pm_name(static_cast<guide::Pm>(pm))};
    if (dev != 0) {
        std::string list;
        for (const std::string& d : guide::devices(static_cast<guide::Dev>(dev), c.disks)) list += d + ",";
        args.insert(args.end(), {"--devices", list});
    }
    const kit::Run r = kit::run_app(args, {"LANGUAGE=en", "LANG=C.UTF-8", "LC_ALL="});
    if (r.status != 0) return r;
    for (const std::string& l : kit::lines(r.out))
        if (!l.empty() && l[0] != '#') cmds->push_back(l);
    return r;
}

bool near(const Rgba& a, const Rgba& b) {
    return std::abs(a.r - b.r) < 0.02 && std::abs(a.g - b.g) < 0.02 && std::abs(a.b - b.b) < 0.02;
}

std::vector<const Hit*> with_head(const std::vector<Hit>& hits, const std::string& head) {
    std::vector<const Hit*> out;
    for (const Hit& h : hits)
        if (h.id.rfind(head, 0) == 0) out.push_back(&h);
    return out;
}

class GuidePage : public testing::Test {
protected:
    void SetUp() override { L10n::setLanguage("en"); }
};

}  // namespace

TEST_F(GuidePage, CommandsMatchTheCommandLineForEveryLevelAndPackageManager) {
    for (const Case& c : kCases) {
        for (int pm = 0; pm < 4; ++pm) {
            const int dev = pm % 3;  // every naming scheme comes round
            SCOPED_TRACE(std::string(c.level) + " pm " + std::to_string(pm) + " dev " + std::to_string(dev));
            App app;
            configure(app, c, pm, dev);
            Page page;
            paint(app, kWide, &page);
            std::vector<std::string> printed;
            const kit::Run r = cli_guide(c, pm, dev, &printed);
            const bool possible = std::string(c.level) != "jbod" && std::string(c.level) != "raidtp";
            ASSERT_EQ(r.status, possible ? 0 : 1) << r.err;
            EXPECT_EQ(page.cmds, printed);
            EXPECT_EQ(page.cmds.empty(), !possible);
            if (!possible) {
                EXPECT_EQ(r.out, L10n::tr("tab.guide_off") + "\n");
            }
            // One copy button per command, numbered in display order.
            const auto copies = with_head(page.hits, "gcopy:");
            ASSERT_EQ(copies.size(), page.cmds.size());
            for (size_t i = 0; i < copies.size(); ++i) EXPECT_EQ(copies[i]->n, static_cast<int>(i));
            EXPECT_EQ(with_head(page.hits, "gtocalc").size(), possible ? 0u : 1u);
        }
    }
}

TEST_F(GuidePage, DiskNamesFollowTheDiskTypeUntilChosenAndChoicesAreClamped) {
    const Case raid5 = kCases[2];
    App app;
    configure(app, raid5, 0, -1);
    app.m_settings.disk_type = "nvme4";
    Page nvme;
    paint(app, kWide, &nvme);
    EXPECT_EQ(find_cmd(nvme.cmds, "sudo wipefs"),
              "sudo wipefs -a /dev/nvme1n1 /dev/nvme2n1 /dev/nvme3n1 /dev/nvme4n1 /dev/nvme5n1");

    // The naming switch shows NVMe active: its segment is filled, the others not.
    const auto devs = with_head(nvme.hits, "gdev:");
    ASSERT_EQ(devs.size(), 3u);
    const Rgba on = app.m_pal.chip_on;
    EXPECT_TRUE(near(pixel(app, kWide, devs[1]->x + devs[1]->w / 2, devs[1]->y + 5), on));
    EXPECT_FALSE(near(pixel(app, kWide, devs[0]->x + devs[0]->w / 2, devs[0]->y + 5), on));

    // Stored choices outside their range: negative manager as apt, large as pacman.
    app.m_settings.guide_pm = -4;
    Page low;
    paint(app, kWide, &low);
    EXPECT_EQ(low.cmds.at(0), "sudo apt install mdadm");
    app.m_settings.guide_pm = 9;
    app.m_settings.guide_dev = 7;
    Page high;
    paint(app, kWide, &high);
    EXPECT_EQ(high.cmds.at(0), "sudo pacman -S mdadm");
    EXPECT_EQ(find_cmd(high.cmds, "sudo wipefs"), "sudo wipefs -a /dev/vdb /dev/vdc /dev/vdd /dev/vde /dev/vdf");
    const auto pms = with_head(high.hits, "gpm:");
    ASSERT_EQ(pms.size(), 4u);
    EXPECT_TRUE(near(pixel(app, kWide, pms[3]->x + pms[3]->w / 2, pms[3]->y + 5), on));
}

TEST_F(GuidePage, OnlyTheCopiedCommandShowsTheMarkAndIndicesStayStable) {
    App app;
    configure(app, kCases[6], 1, 0);
    Page before;
    paint(app, kWide, &before);
    app.m_copied_until = 1;
    app.m_copied_cmd = 5;
    Page after;
    paint(app, kWide, &after);
    ASSERT_EQ(after.cmds, before.cmds);
    const auto copies = with_head(after.hits, "gcopy:");
    ASSERT_GT(copies.size(), 6u);
    const Rgba on = app.m_pal.chip_on;
    for (size_t i = 0; i < copies.size(); ++i) {
        // Right of the text, inside the button: only the fill shows there.
        const Hit& h = *copies[i];
        const Rgba c = pixel(app, kWide, h.x + h.w - 4, h.y + h.h / 2);
        EXPECT_EQ(near(c, on), i == 5) << "button " << i;
        EXPECT_EQ(h.tip, L10n::tr("g.copy_tip"));
    }
    // The mark ends with the confirmation.
    app.m_copied_until = 0;
    Page ended;
    paint(app, kWide, &ended);
    const Hit& h = *with_head(ended.hits, "gcopy:")[5];
    EXPECT_FALSE(near(pixel(app, kWide, h.x + h.w - 4, h.y + h.h / 2), on));
}

TEST_F(GuidePage, NothingOverlapsOrLeavesThePageInEitherWidthOrDirection) {
    for (const char* lang : {"en", "ar", "de"}) {
        for (double W : {kNarrow, kWide}) {
            SCOPED_TRACE(std::string(lang) + " " + std::to_string(W));
            L10n::setLanguage(lang);
            App app;
            app.m_dark = W == kNarrow;
            configure(app, kCases[6], 2, 1);
            Page page;
            paint(app, W, &page);
            EXPECT_FALSE(page.cmds.empty());
            for (size_t i = 0; i < page.hits.size(); ++i) {
                const Hit& a = page.hits[i];
                EXPECT_GE(a.x, 16) << a.id;
                EXPECT_LE(a.x + a.w, W - 16) << a.id;
                EXPECT_LE(a.y + a.h, page.height) << a.id;
                for (size_t j = i + 1; j < page.hits.size(); ++j) {
                    const Hit& b = page.hits[j];
                    const bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
                    EXPECT_TRUE(apart) << a.id << " over " << b.id;
                }
            }
            // Commands are never translated.
            L10n::setLanguage("en");
            App en;
            configure(en, kCases[6], 2, 1);
            Page english;
            paint(en, W, &english);
            EXPECT_EQ(page.cmds, english.cmds);
        }
    }
}
