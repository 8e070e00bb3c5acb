// The progress a region reports: from nothing to every byte of its pages, one report per
// acknowledged packet, and a report with no total when it ends early.
#include <gtest/gtest.h>

#include "upgrade/CodeUpdateSender.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/FakeCodeUpdateDevice.h"

namespace vantor {
namespace {

using test::FakeCodeUpdateDevice;

struct Report {
    std::string region;
    std::uint64_t done;
    std::uint64_t total;
};

struct ProgressCase {
    const char* name;
    std::uint8_t kind;
    bool onePage;
    std::size_t answered;  // packets the device answers before it falls silent
    std::string region;
    std::uint64_t total;
    std::size_t reports;  // the first one (nothing acknowledged) included
    bool completes;
};

void PrintTo(const ProgressCase& c, std::ostream* out) {
    *out << c.name;
}

class NullSink final : public StatusSink {
  public:
    void AppendStatus(int, const std::string&) override {}
};

class RegionProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(RegionProgress, CountsTheAcknowledgedBytesOfTheRegion) {
    const ProgressCase& c = GetParam();
    FakeCodeUpdateDevice device([good = test::goodDevice(1), answered = c.answered](
                                    const test::SentPacket& p, std::size_t i) {
        return i < answered ? good(p, i) : FakeCodeUpdateDevice::Replies{};
    });
    const auto transport = device.transport();
    NullSink sink;
    Timings timings;
    timings.codeUpdateReceive = std::chrono::milliseconds(1);
    StopSignal stop;
    CodeUpdateSender sender(*transport, sink, timings, stop, {});
    std::vector<Report> reports;
    sender.onProgress([&](std::string_view region, std::uint64_t done, std::uint64_t total) {
        reports.push_back({std::string(region), done, total});
    });
    UpdateImage image;
    image.imageLength = 3000;
    image.fileType = c.kind;
    const CodeUpdateSettings settings{"pw", c.onePage, false, std::nullopt};

    EXPECT_EQ(sender.transferFile(c.kind, image, settings) == 1, c.completes);
    ASSERT_EQ(reports.size(), c.reports);
    EXPECT_EQ(reports.front().done, 0u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].region, c.region);
        const bool endedEarly = i + 1 == reports.size() && !c.completes;
        if (endedEarly) {
            // Where the region stopped, and no total.
            EXPECT_EQ(reports[i].done, reports[i - 1].done);
            EXPECT_EQ(reports[i].total, 0u);
            continue;
        }
        if (i > 0) {
            EXPECT_GT(reports[i].done, reports[i - 1].done) << i;
        }
        EXPECT_EQ(reports[i].total, c.total) << i;
    }
    if (c.completes) {
        EXPECT_EQ(reports.back().done, c.total);
    } else {
        EXPECT_EQ(reports.back().done, 3u * 4 * 256);  // the three packets acknowledged
    }
}

// A logo is 16 pages, a bin image 845, a tail 112; a model query comes first where the kind
// asks for one.
INSTANTIATE_TEST_SUITE_P(
    Cases, RegionProgress,
    ::testing::Values(
        ProgressCase{"LogoFourPages", TYPE_LOGO, false, 1000, "logo", 16 * 256, 1 + 4, true},
        ProgressCase{"LogoOnePage", TYPE_LOGO, true, 1000, "logo", 16 * 256, 1 + 16, true},
        // 845 pages: 211 packets of four and a last one of a single page.
        ProgressCase{"BinEndsOnAShortPacket", TYPE_BIN, false, 1000, "bin", 845 * 256, 1 + 212,
                     true},
        ProgressCase{"TailAfterTheModelQuery", KIND_TAIL, false, 1000, "tail", 112 * 256, 1 + 28,
                     true},
        // Three packets acknowledged, then the device is gone: the last report has no total.
        ProgressCase{"SilentInTheMiddle", TYPE_LOGO, false, 3, "logo", 16 * 256, 1 + 3 + 1, false}),
    [](const ::testing::TestParamInfo<ProgressCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace vantor
