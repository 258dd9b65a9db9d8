#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "WispEasyWrapper.h"

TEST(Logging, MinimumLevelDecidesWhatPasses)
{
    LogCapture capture;
    BasicLogger::setMinimumLogLevel(WispLogLevels::Warning);
    QLOG_INFO("Entry") << "dropped " << 1;
    QLOG_WARN("Entry") << "warned " << 2;
    QLOG_ERROR("Entry") << "failed " << wxString("x");
    BasicLogger::setMinimumLogLevel(static_cast<WispLogLevels::WispLevel>(5));
    QLOG_ERROR("Entry") << "nothing passes at 5";

    std::vector<std::string> lines;
    for (const auto& m : capture.messages())
        lines.push_back(std::to_string(int(m.level)) + " " + m.function + ": " + m.message);
    EXPECT_EQ(lines, (std::vector<std::string>{std::to_string(int(WispLogLevels::Warning)) + " Entry: warned 2",
                                               std::to_string(int(WispLogLevels::Error)) + " Entry: failed x"}));
    EXPECT_NE(capture.messages().at(0).file.find("LoggingTest.cpp"), std::string::npos);
}

TEST(Logging, ConcurrentMessagesAreNeitherLostNorGarbled)
{
    const std::string path = testing::TempDir() + "wisp_concurrent.log";
    std::remove(path.c_str());
    LogCapture capture;
    BasicLogger::setOutputFile(path);
    const int threads = 8, perThread = 500;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                QLOG_WARN("worker") << "thread " << t << " message " << i << " end";
        });
    for (auto& th : pool)
        th.join();
    BasicLogger::setOutputFile("");

    std::set<std::string> seen;
    for (const auto& r : capture.messages())
        seen.insert(r.message);
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * perThread));

    std::ifstream in(path);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        // Every line is whole: one level, one location, one complete text.
        EXPECT_NE(line.find("WARN"), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 4), " end") << line;
        EXPECT_EQ(line.find("thread", line.find("thread") + 1), std::string::npos) << line;
    }
    EXPECT_EQ(lines, threads * perThread);
}
