// The log file and its in-memory tail, also under concurrent writers.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "kit.h"
#include "logger.h"

TEST(Logger, LinesTagsAndTail) {
    logger::info("before init");
    const std::string dir = kit::scratch_dir("log");
    logger::init(dir, "app");
    EXPECT_EQ(logger::file_path(), dir + "/app.log");
    logger::info("hello");
    logger::warn("careful");
    logger::error("broken\nsecond line");
    const auto t = logger::tail(3);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(std::regex_match(t[0], std::regex(R"(\d\d:\d\d:\d\d INFO  hello)"))) << t[0];
    EXPECT_TRUE(std::regex_match(t[1], std::regex(R"(\d\d:\d\d:\d\d WARN  careful)"))) << t[1];
    EXPECT_EQ(t[2].substr(8), " ERROR broken\nsecond line");

    const std::string file = kit::read_file(dir + "/app.log");
    EXPECT_EQ(file.find("before init"), std::string::npos) << "lines before init reach only the tail";
    EXPECT_NE(file.find("INFO  hello\n"), std::string::npos) << "each line is flushed at once";
    EXPECT_EQ(kit::lines(file).size(), 4u);

    logger::init(dir, "other");  // ignored while open
    EXPECT_EQ(logger::file_path(), dir + "/app.log");
    logger::shutdown();
    logger::info("after shutdown");
    EXPECT_EQ(logger::file_path(), dir + "/app.log");
    EXPECT_EQ(kit::read_file(dir + "/app.log").find("after shutdown"), std::string::npos);
    EXPECT_EQ(logger::tail(1).back().substr(9), "INFO  after shutdown");

    logger::init(dir, "app");  // reopening truncates
    logger::shutdown();
    EXPECT_EQ(kit::read_file(dir + "/app.log"), "");
}

TEST(Logger, TailIsBounded) {
    for (int i = 0; i < 501; ++i) logger::info("line " + std::to_string(i));
    const auto all = logger::tail(1000);
    ASSERT_EQ(all.size(), 500u);
    EXPECT_EQ(all.front().substr(15), "line 1");
    EXPECT_EQ(all.back().substr(15), "line 500");
    EXPECT_TRUE(logger::tail(0).empty());
}

TEST(Logger, UnopenableFileKeepsTail) {
    logger::init("/nonexistent/dir", "app");
    logger::warn("still kept");
    EXPECT_EQ(logger::tail(1).back().substr(9), "WARN  still kept");
    logger::shutdown();
}

TEST(Logger, ConcurrentWritersNeverInterleave) {
    const std::string dir = kit::scratch_dir("log");
    logger::init(dir, "threads");
    constexpr int kThreads = 4, kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) logger::info("thread " + std::to_string(t) + " line " + std::to_string(i) + " end");
        });
    for (auto& th : threads) th.join();
    logger::shutdown();
    const auto lines = kit::lines(kit::read_file(dir + "/threads.log"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    const std::regex shape(R"(\d\d:\d\d:\d\d INFO  thread \d line \d+ end)");
    for (const auto& l : lines) ASSERT_TRUE(std::regex_match(l, shape)) << l;
}
