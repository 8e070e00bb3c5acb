#include "headless/CommandLine.h"

#include <gtest/gtest.h>

#include "headless/HeadlessView.h"

namespace vantor {
namespace {

ParsedCommandLine parse(std::vector<std::string_view> args) {
    return CommandLine::parse(args);
}

TEST(CommandLine, NoArgumentsOpensTheWindowAndHeadlessRunsInAuto) {
    EXPECT_EQ(parse({}).options->action, CommandLine::Action::Window);
    const auto run = parse({"--headless"});
    ASSERT_TRUE(run.options);
    EXPECT_EQ(run.options->action, CommandLine::Action::Run);
    EXPECT_EQ(run.options->mode, ConsoleMode::Auto);
    EXPECT_EQ(parse({"--headless", "--mode", "recovery"}).options->mode, ConsoleMode::Recovery);
    EXPECT_EQ(parse({"--headless", "--mode=firmware"}).options->mode, ConsoleMode::FirmwareFile);
    EXPECT_EQ(parse({"--help"}).options->action, CommandLine::Action::Help);
}

TEST(CommandLine, SetAndUpdateTakeTheirOptionsTogether) {
    const auto set = parse(
        {"--headless", "--mode", "manual", "--mac", "00-11-22-33-44-55", "--ip", "192.168.1.50"});
    ASSERT_TRUE(set.options) << set.error;
    EXPECT_EQ(set.options->action, CommandLine::Action::Set);
    EXPECT_EQ(set.options->mac, "00-11-22-33-44-55");
    EXPECT_EQ(set.options->ip, "192.168.1.50");

    const auto update = parse({"--headless", "--mode", "firmware", "--ip", "10.0.0.2", "--password",
                               "secret", "--archive", "/tmp/f.zip", "--one-page"});
    ASSERT_TRUE(update.options) << update.error;
    EXPECT_EQ(update.options->action, CommandLine::Action::Update);
    EXPECT_EQ(update.options->password, "secret");
    EXPECT_EQ(update.options->archive, "/tmp/f.zip");
    EXPECT_TRUE(update.options->onePage);
}

TEST(CommandLine, RefusesWhatCannotBeMeant) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--mode", "auto"},                                    // options need --headless
        {"--headless", "--mode", "fast"},                      // unknown mode
        {"--headless", "--mode"},                              // missing value
        {"--headless", "--bogus"},                             // unknown option
        {"--headless", "--mode", "auto", "--mode", "manual"},  // twice
        {"--headless", "--mode", "manual", "--mac", "00-11-22-33-44-55"},  // Set without --ip
        {"--headless", "--mac", "00-11-22-33-44-55", "--ip", "1.2.3.4"},   // Set outside manual
        {"--headless", "--mode", "firmware", "--ip", "1.2.3.4"},  // Update without password
        {"--headless", "--mode", "auto", "--password", "x"},      // Update outside firmware
        {"--headless", "--mode", "manual", "--mac", "a", "--ip", "b", "--archive", "c"},
    };
    for (const auto& args : bad) {
        const auto parsed = parse(args);
        EXPECT_FALSE(parsed.options) << "accepted: " << args.size() << " arguments";
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(HeadlessView, RowsBecomeLinesWithPlainLineFeeds) {
    EXPECT_EQ(HeadlessView::rowAsLines("\r\n> Listening.....\r\n"), "\n> Listening.....\n");
    EXPECT_EQ(HeadlessView::rowAsLines("> IP: 192.168.0.100 already exist."),
              "> IP: 192.168.0.100 already exist.\n");
    EXPECT_EQ(HeadlessView::rowAsLines("\r\n"), "\n");
    EXPECT_EQ(HeadlessView::rowAsLines("> done\n"), "> done\n");
}

TEST(HeadlessView, ProgressIsOneLineInBytesWithTheDeviceOnlyWhenNamed) {
    EXPECT_EQ(HeadlessView::progressLine({"", "initrd-pxa.img", 1468, 4509760}),
              "progress: initrd-pxa.img 1468 4509760\n");
    EXPECT_EQ(HeadlessView::progressLine({"192.168.1.50", "bin", 256, 256}),
              "progress: [Device 192.168.1.50] bin 256 256\n");
    // A client's file name cannot start a line of its own.
    EXPECT_EQ(HeadlessView::progressLine({"", "a\nprogress: x\x1b", 0, 0}),
              "progress: a?progress: x? 0 0\n");
}

}  // namespace
}  // namespace vantor
