#include "console/Banner.h"

#include <gtest/gtest.h>

#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

TEST(Banner, ANewStateShowsAtTheNextTickAndEachTickSwapsTheImages) {
    std::mutex lock;
    Banner banner(lock);
    banner.SetBannerState(BannerState::Instructions, ConsoleMode::Manual);
    auto frame = banner.OnTimerTick(ConsoleMode::Manual);
    EXPECT_EQ(frame.pair, BannerPair::ManualHint);
    EXPECT_TRUE(frame.firstImage);
    EXPECT_FALSE(frame.asButton);
    EXPECT_FALSE(banner.OnTimerTick(ConsoleMode::Manual).firstImage);
    EXPECT_TRUE(banner.OnTimerTick(ConsoleMode::Manual).firstImage);

    // Two changes between ticks: only the last one is shown.
    banner.SetBannerState(BannerState::DeviceReady, ConsoleMode::Manual);
    banner.SetBannerState(BannerState::Instructions, ConsoleMode::Manual);
    frame = banner.OnTimerTick(ConsoleMode::Manual);
    EXPECT_EQ(frame.pair, BannerPair::ManualHint);
    EXPECT_FALSE(frame.asButton);
}

struct PairCase {
    BannerState state;
    ConsoleMode mode;
    BannerPair pair;
    bool button;
    std::string path;
};

class BannerPairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(BannerPairs, StateAndModeChooseThePairAndThePage) {
    const PairCase& c = GetParam();
    std::mutex lock;
    Banner banner(lock);
    banner.SetBannerState(c.state, c.mode);
    const auto frame = banner.OnTimerTick(c.mode);
    EXPECT_EQ(frame.pair, c.pair);
    EXPECT_EQ(frame.asButton, c.button);
    EXPECT_EQ(banner.devicePagePath(), c.path);
}

INSTANTIATE_TEST_SUITE_P(
    All, BannerPairs,
    ::testing::Values(PairCase{BannerState::Instructions, ConsoleMode::Auto, BannerPair::AutoHint,
                               false, "/QuickStart/Qlogin.php"},
                      PairCase{BannerState::Instructions, ConsoleMode::Recovery,
                               BannerPair::PowerUpHint, false, "/QuickStart/Qlogin.php"},
                      PairCase{BannerState::Instructions, ConsoleMode::FirmwareFile,
                               BannerPair::PowerUpHint, false, "/"},
                      PairCase{BannerState::DeviceReady, ConsoleMode::Auto, BannerPair::SetupButton,
                               true, "/QuickStart/Qlogin.php"},
                      PairCase{BannerState::DeviceReady, ConsoleMode::Manual,
                               BannerPair::SetupButton, true, "/QuickStart/Qlogin.php"},
                      PairCase{BannerState::DeviceReady, ConsoleMode::Recovery,
                               BannerPair::SetupButton, true, "/"},
                      PairCase{BannerState::DeviceReady, ConsoleMode::FirmwareFile,
                               BannerPair::UpgradeButton, true, "/"},
                      PairCase{BannerState::UpdateStatus, ConsoleMode::Recovery,
                               BannerPair::StatusButton, true, "/"}));

TEST(Banner, SwitchingKeepsTheImagesItHad) {
    std::mutex lock;
    Banner banner(lock);
    banner.SetBannerState(BannerState::Instructions, ConsoleMode::Recovery);
    banner.OnTimerTick(ConsoleMode::Recovery);
    banner.SetBannerState(BannerState::Instructions, ConsoleMode::Switching);
    EXPECT_EQ(banner.OnTimerTick(ConsoleMode::Switching).pair, BannerPair::PowerUpHint);
}

TEST(Banner, ShellErrorTexts) {
    EXPECT_EQ(ShellErrorText(0), "The operating system is out of memory or resources");
    EXPECT_EQ(ShellErrorText(2), "The specified program xdg-open was not found");
    EXPECT_EQ(ShellErrorText(31),
              "There is no application that could open the page (xdg-open failed to start)");
    // Codes no view of this program answers.
    for (const int other : {-1, 1, 3, 11, 30, 32}) {
        EXPECT_EQ(ShellErrorText(other), "Unexpected error") << other;
    }
}

class BannerClicks : public ::testing::Test {
  protected:
    void SetUp() override { h.console->Initialize(); }
    test::ConsoleHarness h;
};

TEST_F(BannerClicks, WithoutADeviceTheClickSaysSoAndShowsTheInstructions) {
    h.console->report().setBannerState(BannerState::DeviceReady);
    h.console->OnBanner();
    EXPECT_EQ(h.view.messages(), std::vector<std::string>{"serverIP.IsEmpty"});
    EXPECT_EQ(h.console->bannerState(), BannerState::Instructions);
    EXPECT_TRUE(h.view.openedUrls().empty());
}

TEST_F(BannerClicks, InRecoveryTheFirstClickOpensTheRootPageThenOffersTheStatus) {
    h.click(ControlId::RadioRecovery);
    ASSERT_EQ(h.console->mode(), ConsoleMode::Recovery);
    h.console->report().setServerAddress("192.168.0.100");
    h.console->report().setBannerState(BannerState::DeviceReady);
    h.console->OnTimerTick();
    EXPECT_EQ(h.view.lastBanner()->pair, BannerPair::SetupButton);
    EXPECT_TRUE(h.view.lastBanner()->asButton);
    h.console->OnBanner();
    h.console->OnTimerTick();
    EXPECT_EQ(h.view.lastBanner()->pair, BannerPair::StatusButton);
    h.console->OnBanner();
    EXPECT_EQ(h.view.openedUrls(),
              (std::vector<std::string>{"http://192.168.0.100/", "http://192.168.0.100/"}));
}

TEST_F(BannerClicks, ADesktopFailureIsLoggedInEveryMode) {
    h.console->report().setServerAddress("10.0.0.5");
    h.console->report().setBannerState(BannerState::DeviceReady);
    h.view.openUrlResult = 2;
    h.console->OnBanner();
    EXPECT_EQ(h.view.openedUrls(),
              std::vector<std::string>{"http://10.0.0.5/QuickStart/Qlogin.php"});
    EXPECT_EQ(h.console->statusRows().back(),
              "> Error: The specified program xdg-open was not found.\r\n");
}

}  // namespace
}  // namespace vantor
