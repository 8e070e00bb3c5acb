#include "console/StatusLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace vantor {
namespace {

TEST(StatusLog, TagFilterReadsTheModeAtAppendTime) {
    std::atomic<ConsoleMode> mode{ConsoleMode::Manual};
    StatusLog log(mode);
    EXPECT_FALSE(log.append(1, "auto row\r\n"));
    EXPECT_TRUE(log.append(2, "manual row\r\n"));
    EXPECT_TRUE(log.append(0, "always\r\n"));
    EXPECT_TRUE(log.append(0x10002, "tag compared in its low 16 bits\r\n"));
    mode = ConsoleMode::Switching;
    EXPECT_FALSE(log.append(2, "dropped while switching\r\n"));
    EXPECT_FALSE(log.append(1, "dropped while switching\r\n"));
    EXPECT_TRUE(log.append(0, "still shown\r\n"));
    mode = ConsoleMode::Auto;
    // Rows stay after the mode changed; the filter acts only when they arrive.
    EXPECT_EQ(log.rows(),
              (std::vector<std::string>{"manual row\r\n", "always\r\n",
                                        "tag compared in its low 16 bits\r\n", "still shown\r\n"}));
}

TEST(StatusLog, ARowIsOneAppendWhateverLineBreaksItHolds) {
    std::atomic<ConsoleMode> mode{ConsoleMode::Auto};
    StatusLog log(mode);
    log.append(1, "\r\n");
    log.append(1, "\r\n> Listening.....\r\n");
    EXPECT_EQ(log.size(), 2u);
}

TEST(StatusLog, The251stAppendDropsTheOldestRow) {
    std::atomic<ConsoleMode> mode{ConsoleMode::Auto};
    StatusLog log(mode);
    for (int i = 1; i <= 251; ++i) {
        log.append(1, std::to_string(i));
    }
    const auto rows = log.rows();
    ASSERT_EQ(rows.size(), 250u);
    EXPECT_EQ(rows.front(), "2");
    EXPECT_EQ(rows.back(), "251");
}

class CountingObserver final : public StatusLog::Observer {
  public:
    void rowAppended(const std::string&) override { most = std::max(most, ++rows); }
    void oldestRowsRemoved(std::size_t count) override { rows -= static_cast<long>(count); }
    void cleared() override { rows = 0; }
    long rows = 0;
    long most = 0;  // the most rows the mirror held at any moment
};

TEST(StatusLog, ConcurrentAppendsAllArriveAndTheCapHoldsAfterEveryCall) {
    std::atomic<ConsoleMode> mode{ConsoleMode::Recovery};
    StatusLog log(mode);
    CountingObserver mirror;
    log.setObserver(&mirror);
    constexpr int kThreads = 4;
    constexpr int kRowsEach = 100;
    std::atomic<bool> overCap{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kRowsEach; ++i) {
                log.append(3, std::to_string(t) + ":" + std::to_string(i));
                if (log.size() > kStatusLogMaxRows) {
                    overCap = true;
                }
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    EXPECT_FALSE(overCap);
    const auto rows = log.rows();
    ASSERT_EQ(rows.size(), kStatusLogMaxRows);
    EXPECT_EQ(mirror.rows, static_cast<long>(kStatusLogMaxRows));  // the view saw every change
    EXPECT_EQ(mirror.most, static_cast<long>(kStatusLogMaxRows));  // not one row over, ever
    // Each writer's rows stay in its own order.
    for (int t = 0; t < kThreads; ++t) {
        int last = -1;
        for (const std::string& row : rows) {
            if (row.rfind(std::to_string(t) + ":", 0) == 0) {
                const int i = std::stoi(row.substr(row.find(':') + 1));
                EXPECT_GT(i, last);
                last = i;
            }
        }
    }
}

}  // namespace
}  // namespace vantor
