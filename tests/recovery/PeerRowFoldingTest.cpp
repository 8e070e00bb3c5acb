#include "recovery/PeerRowFolding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vantor {
namespace {

using namespace std::chrono_literals;

const std::string kPeer = "10.77.1.2";

std::string address(unsigned n) {
    return "10.77." + std::to_string(n / 256) + "." + std::to_string(n % 256);
}

// The log as one text: a written group is "+", counts are their rows.
class PeerRowFoldingTest : public ::testing::Test {
  protected:
    void admit(const std::string& peer, PeerRowFolding::Clock::duration at, int times = 1) {
        for (int i = 0; i < times; ++i) {
            const PeerRowFolding::Admission admission = folding_.Admit(peer, start_ + at);
            append(admission.summariesFirst);
            log_ += admission.write ? "+" : "";
        }
    }
    void append(const std::vector<std::string>& rows) {
        for (const std::string& row : rows) {
            log_ += row;
        }
    }
    PeerRowFolding folding_{">", 1000ms};
    PeerRowFolding::Clock::time_point start_ = PeerRowFolding::Clock::time_point{} + 1h;
    std::string log_;
};

// 5 groups of a peer a window of 1000 ms: the count of the rest comes before the peer's
// first group of its next window.
TEST_F(PeerRowFoldingTest, TheSixthGroupIsCountedAndTheCountComesWhenTheWindowIsOver) {
    admit(kPeer, 0ms, 6);
    admit(kPeer, 999ms);
    EXPECT_EQ(log_, "+++++");
    admit(kPeer, 1000ms);
    EXPECT_EQ(log_, "+++++> (2 more from 10.77.1.2)\r\n+");
}

TEST_F(PeerRowFoldingTest, PeersAreCountedApartAndAFlushReportsEveryCountOnce) {
    admit(kPeer, 0ms, 6);
    admit("10.77.1.3", 10ms, 7);
    append(folding_.Flush());
    admit(kPeer, 500ms);  // still folded after the flush, counted anew
    append(folding_.Flush());
    append(folding_.Flush());
    EXPECT_EQ(log_,
              "++++++++++> (1 more from 10.77.1.2)\r\n> (2 more from 10.77.1.3)\r\n"
              "> (1 more from 10.77.1.2)\r\n");
}

// 20 groups of all peers a window; a peer over its own limit is still named.
TEST_F(PeerRowFoldingTest, BeyondTwentyGroupsOfAllPeersTheRestAreOtherPeers) {
    admit(address(0), 0ms, 6);
    for (unsigned n = 1; n <= 17; ++n) {
        admit(address(n), n <= 15 ? 0ms : 999ms);
    }
    EXPECT_EQ(std::count(log_.begin(), log_.end(), '+'), 20);
    log_.clear();
    admit(address(16), 1000ms);
    EXPECT_EQ(log_, "> (1 more from 10.77.0.0)\r\n> (2 more from other peers)\r\n+");
}

// 256 peers are followed: the count of a peer forgotten to make room is written then.
TEST_F(PeerRowFoldingTest, APeerForgottenBeyond256HasItsCountWrittenThen) {
    admit(kPeer, 0ms, 6);
    for (unsigned n = 0; n < 255; ++n) {
        admit(address(n), 1ms);
    }
    EXPECT_EQ(log_.find("more"), std::string::npos);
    log_.clear();
    admit(address(255), 2ms);
    append(folding_.Flush());
    EXPECT_EQ(log_, "> (1 more from 10.77.1.2)\r\n> (241 more from other peers)\r\n");
}

// 12,000 requests in 2.2 s, and 60,000 in a minute, from one address and from as many forged
// ones: the first window of 1000 ms writes its groups and a count, the flood after it only
// one count at the end, however long it lasts.
TEST_F(PeerRowFoldingTest, AFloodWritesItsFirstWindowAndTwoCountsHoweverLongItLasts) {
    for (const bool forged : {false, true}) {
        for (const auto& [requests, micros] :
             {std::pair{12000U, 2200000ULL}, std::pair{60000U, 60000000ULL}}) {
            SCOPED_TRACE(std::string(forged ? "forged, " : "one peer, ") +
                         std::to_string(requests));
            folding_ = PeerRowFolding(">", 1000ms);
            log_.clear();
            for (unsigned i = 0; i < requests; ++i) {
                admit(forged ? address(i % 60000) : kPeer,
                      std::chrono::microseconds(i * micros / requests));
            }
            append(folding_.Flush());
            std::size_t counted = 0;
            for (auto at = log_.find("> ("); at != std::string::npos;
                 at = log_.find("> (", at + 1)) {
                counted += std::stoul(log_.substr(at + 3));
            }
            const auto groups = static_cast<std::size_t>(std::count(log_.begin(), log_.end(), '+'));
            EXPECT_EQ(groups, forged ? 20U : 5U);
            EXPECT_EQ(std::count(log_.begin(), log_.end(), '\n'), 2);
            EXPECT_EQ(groups + counted, requests);
        }
    }
}

// After a flood of two windows the peer keeps within its allowance again: its count comes,
// and its next groups are written.
TEST_F(PeerRowFoldingTest, AFloodThatEndsIsCountedAndThePeerWrittenAgain) {
    admit(kPeer, 0ms, 10);
    admit(kPeer, 1000ms, 10);
    admit(kPeer, 2000ms);
    admit(kPeer, 3000ms);
    EXPECT_EQ(log_, "+++++> (5 more from 10.77.1.2)\r\n> (11 more from 10.77.1.2)\r\n+");
}

}  // namespace
}  // namespace vantor
