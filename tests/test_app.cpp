// App's state rules without a window: stepping tables, capacity units,
// typed values with their limits, pruning of the failed sets, the debounced
// save and a settings file that must be left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app.h"
#include "kit.h"
#include "main_cli.h"

namespace {

struct Fresh {
    App app;
    explicit Fresh(const std::string& name = "app") { app.load_state(kit::scratch_dir(name)); }
};

void typed(App& a, const char* field, const std::string& text) {
    a.begin_edit(field);
    a.m_edit_text = text;
    a.commit_edit();
}

}  // namespace

TEST(AppStep, SpeedSnapsToTheStepOfItsRange) {
    Fresh f;
    App& a = f.app;
    struct Case {
        double from;
        int dir;
        double to;
    } cases[] = {{100, +1, 110}, {100, -1, 95}, {103, +1, 110}, {103, -1, 100}, {500, +1, 550},
                 {500, -1, 490}, {2000, +1, 2250}, {10000, +1, 11000}, {5, -1, 5}, {100000, +1, 100000}};
    for (const auto& c : cases) {
        a.m_settings.read_mbs = c.from;
        a.m_settings.disk_type = "ssd";
        a.step_value("rd", c.dir);
        EXPECT_DOUBLE_EQ(a.m_settings.read_mbs, c.to) << c.from << " stepped " << c.dir;
        EXPECT_EQ(a.m_settings.disk_type, "custom");
    }
    EXPECT_DOUBLE_EQ(a.m_cfg.read_mbs, 100000) << "the configuration follows the settings";
}

TEST(AppStep, CapacityCrossesUnitsBothWays) {
    Fresh f;
    App& a = f.app;
    a.m_settings.cap_value = 1;
    a.m_settings.cap_unit = 2;
    a.step_value("cap", -1);
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 950);
    EXPECT_EQ(a.m_settings.cap_unit, 1);

    a.m_settings.cap_value = 999;
    a.m_settings.cap_unit = 1;
    a.step_value("cap", +1);
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 1);
    EXPECT_EQ(a.m_settings.cap_unit, 2);

    a.m_settings.cap_value = 0.25;
    a.m_settings.cap_unit = 2;
    a.step_value("cap", -1);
    EXPECT_EQ(a.m_settings.cap_unit, 1) << "0.25 TB steps down into gigabytes";

    a.m_settings.cap_value = 1;
    a.m_settings.cap_unit = 0;
    for (int i = 0; i < 5; ++i) a.step_value("cap", -1);
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 1) << "the smallest unit never goes below 1";
    EXPECT_DOUBLE_EQ(a.m_cfg.disk_bytes, 1e6);
}

TEST(AppStep, CountsKeepSparesBelowDisks) {
    Fresh f;
    App& a = f.app;
    a.set_disks(2);
    a.set_spares(1);
    a.step_value("disks", -1);
    EXPECT_EQ(a.m_settings.disks, 1);
    EXPECT_EQ(a.m_settings.spares, 0);
    a.set_disks(4);
    a.set_spares(4);
    EXPECT_EQ(a.m_settings.spares, 3) << "at least one disk stays active";
    a.set_disks(300);
    EXPECT_EQ(a.m_settings.disks, 256);
    a.set_spares(100);
    EXPECT_EQ(a.m_settings.spares, 16);
    a.step_value("groups", +1);
    a.step_value("groups", -9);
    EXPECT_EQ(a.m_settings.groups, 2);
}

TEST(AppEdit, TypedValuesAreClampedBeforeTheyAreRounded) {
    Fresh f;
    App& a = f.app;
    typed(a, "disks", "9999999999999");
    EXPECT_EQ(a.m_settings.disks, 256) << "thirteen nines must not wrap";
    typed(a, "groups", "9999999999999");
    EXPECT_EQ(a.m_settings.groups, 32);
    typed(a, "disks", "7,6");
    EXPECT_EQ(a.m_settings.disks, 8);
    typed(a, "disks", "0");
    EXPECT_EQ(a.m_settings.disks, 8) << "zero leaves the value alone";
    typed(a, "disks", "");
    EXPECT_EQ(a.m_settings.disks, 8);
    typed(a, "rd", "0.5");
    EXPECT_DOUBLE_EQ(a.m_settings.read_mbs, 1) << "typed speeds go down to 1";
    typed(a, "cap", "1500");
    a.m_settings.cap_unit = 1;
    typed(a, "cap", "1500");
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 1.5);
    EXPECT_EQ(a.m_settings.cap_unit, 2);
    a.m_settings.cap_unit = 1;
    typed(a, "cap", "0.0001");
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 0.1);
    EXPECT_EQ(a.m_settings.cap_unit, 0);
    a.m_settings.cap_unit = 3;
    typed(a, "cap", "2000000");
    EXPECT_DOUBLE_EQ(a.m_settings.cap_value, 999999);
    EXPECT_EQ(a.m_settings.cap_unit, 3);
}

TEST(AppEdit, LeavingAFieldUntouchedChangesNothing) {
    Fresh f;
    App& a = f.app;
    a.set_preset(15360);
    a.begin_edit("cap");
    EXPECT_EQ(a.m_edit_text, "15.4") << "shown rounded";
    a.commit_edit();
    EXPECT_EQ(a.m_settings.cap_value, 15.36);
    a.m_settings.read_mbs = 123.7;
    a.begin_edit("rd");
    a.commit_edit();
    EXPECT_EQ(a.m_settings.read_mbs, 123.7);
    a.set_type("hdd7200");
    for (const char* field : {"rd", "wr"}) {
        a.begin_edit(field);
        a.commit_edit();
    }
    EXPECT_EQ(a.m_settings.disk_type, "hdd7200") << "still the chosen type";
    // Typed back to what was shown, it is a change like any other.
    a.begin_edit("cap");
    a.m_edit_text = "15.40";
    a.commit_edit();
    EXPECT_EQ(a.m_settings.cap_value, 15.4);
}

TEST(AppEdit, CancelAndKeysFollowTheEditRules) {
    Fresh f;
    App& a = f.app;
    a.begin_edit("disks");
    EXPECT_EQ(a.m_edit_text, "6");
    a.text_input("1a,5\xC3\xA9");
    EXPECT_EQ(a.m_edit_text, "61,5") << "only digits and decimal marks are kept";
    a.text_input("1234567890123");
    EXPECT_EQ(a.m_edit_text.size(), 13u) << "typing stops at 13 bytes";
    a.cancel_edit();
    EXPECT_EQ(a.m_settings.disks, 6);
    EXPECT_TRUE(a.m_edit.empty());

    a.begin_edit("spares");
    SDL_Keysym ks{};
    ks.sym = SDLK_BACKSPACE;
    a.key(ks);
    a.text_input("2");
    ks.sym = SDLK_RETURN;
    a.key(ks);
    EXPECT_EQ(a.m_settings.spares, 2);
}

TEST(AppFailures, PrunedWhenTheArrayShrinksAndClearedByLevel) {
    Fresh f;
    App& a = f.app;
    a.set_disks(8);
    a.set_spares(2);
    a.m_failed = {0, 5};
    a.m_failed_spares = {1};
    a.set_disks(5);  // 3 active disks remain with 2 spares
    EXPECT_EQ(a.m_failed, (std::set<int>{0}));
    EXPECT_EQ(a.m_failed_spares, (std::set<int>{1}));
    a.set_spares(1);
    EXPECT_TRUE(a.m_failed_spares.empty());
    a.set_level(raid::Level::R5);
    EXPECT_TRUE(a.m_failed.empty());
}

TEST(AppSave, DebouncedAndWrittenWithTheFailedLists) {
    const std::string dir = kit::scratch_dir("save");
    {
        App a;
        a.load_state(dir);
        a.set_disks(9);
        EXPECT_NE(a.m_save_at, 0u);
        a.m_failed = {4, 1};
        a.m_failed_spares = {0};
        a.save_now();
    }
    App b;
    b.load_state(dir);
    EXPECT_EQ(b.m_settings.disks, 9);
    EXPECT_EQ(b.m_settings.failed, "1,4");
    EXPECT_EQ(b.m_failed, (std::set<int>{1, 4}));

    // Pieces that are not a disk index are ignored.
    b.m_settings.failed = "2,300,x,-1,3";
    b.m_settings.save();
    App c;
    c.load_state(dir);
    EXPECT_EQ(c.m_failed, (std::set<int>{2, 3}));
}

TEST(AppSave, AnUnreadableSettingsFileIsNeverOverwritten) {
    const std::string dir = kit::scratch_dir("keep");
    const std::string path = dir + "/settings.dat";
    // A link to itself cannot be opened, even by root.
    ASSERT_EQ(symlink("settings.dat", path.c_str()), 0);
    App a;
    a.load_state(dir);
    EXPECT_TRUE(a.m_keep_file);
    EXPECT_EQ(a.m_settings.disks, 6) << "the run uses the defaults";
    a.set_disks(12);
    a.save_now();
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the file must be left as it was";
}

// Each limit read through the three doors a value comes in by: typed in the
// window, found in a settings file, given on the command line.
TEST(Limits, TheWindowTheSettingsFileAndTheCommandLineAgree) {
    struct Door {
        int disks, spares, groups;
    };
    auto window = [](int disks, int spares, int groups) {
        Fresh f("limits");
        App& a = f.app;
        typed(a, "disks", std::to_string(disks));
        typed(a, "spares", std::to_string(spares));
        typed(a, "groups", std::to_string(groups));
        return Door{a.m_settings.disks, a.m_settings.spares, a.m_settings.groups};
    };
    auto file = [](int disks, int spares, int groups) {
        Settings s;
        s.read_text("disks=" + std::to_string(disks) + "\nspares=" + std::to_string(spares) +
                    "\ngroups=" + std::to_string(groups) + "\n");
        return Door{s.disks, s.spares, s.groups};
    };
    auto command_line = [](int disks, int spares, int groups) {
        cli::CalcArgs a;
        int status = 0;
        const bool ok = cli::parse_calc({"raid60", std::to_string(disks), "4TB", std::to_string(spares), "--groups",
                                         std::to_string(groups)},
                                        &a, &status);
        return ok ? Door{a.config.disks, a.config.spares, a.config.groups} : Door{-status, -status, -status};
    };
    // Within every limit all three take the values as they are.
    for (const auto& door : {window(256, 16, 32), file(256, 16, 32), command_line(256, 16, 32)}) {
        EXPECT_EQ(door.disks, 256);
        EXPECT_EQ(door.spares, 16);
        EXPECT_EQ(door.groups, 32);
    }
    for (const auto& door : {window(1, 0, 2), file(1, 0, 2), command_line(1, 0, 2)}) {
        EXPECT_EQ(door.disks, 1);
        EXPECT_EQ(door.groups, 2);
    }
    // Beyond them the window and the file hold the value to the limit, the
    // command line refuses it.
    for (const auto& door : {window(300, 17, 33), file(300, 17, 33)}) {
        EXPECT_EQ(door.disks, 256);
        EXPECT_EQ(door.spares, 16);
        EXPECT_EQ(door.groups, 32);
    }
    EXPECT_EQ(command_line(257, 0, 2).disks, -2);
    EXPECT_EQ(command_line(20, 17, 2).spares, -2);
    EXPECT_EQ(command_line(20, 0, 33).groups, -2);
    // Spares that leave no active disk: the window and the file keep one
    // disk active; the command line reports the impossible array.
    EXPECT_EQ(window(4, 9, 2).spares, 3);
    EXPECT_EQ(file(4, 9, 2).spares, 3);
    EXPECT_EQ(command_line(4, 9, 2).spares, 9);
}
