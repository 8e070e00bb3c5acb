#include "headless/CommandLine.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

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

// Each refused value names the form it should have had, so that the operator can retype it.
TEST(CommandLine, RefusesAMalformedMacOrIpNamingTheForm) {
    struct Case {
        std::string_view option;
        std::string_view value;
        std::string_view form;
    };
    const std::vector<Case> cases = {
        {"--mac", "00-11-22-33-44", "XX-XX-XX-XX-XX-XX"},        // five octets
        {"--mac", "00-11-22-33-44-55-66", "XX-XX-XX-XX-XX-XX"},  // seven
        {"--mac", "02-56:4e-00-00-d2", "xx:xx:xx:xx:xx:xx"},     // separators mixed
        {"--mac", "2-56-4E-00-00-D2-", "XX-XX-XX-XX-XX-XX"},     // a one-digit group
        {"--mac", "02-56-4E-00-00-DG", "XX-XX-XX-XX-XX-XX"},     // not hexadecimal
        {"--mac", "02.56.4E.00.00.D2", "XX-XX-XX-XX-XX-XX"},
        {"--ip", "10.77.0.256", "A.B.C.D"},  // one past the largest part
        {"--ip", "10.77.0", "A.B.C.D"},
        {"--ip", "10.77.0.1.5", "A.B.C.D"},
        {"--ip", "10..0.1", "A.B.C.D"},
        {"--ip", "10.77.0.1.", "A.B.C.D"},
        {"--ip", "10.77.0.0050", "A.B.C.D"},  // four digits, though the value is small
        {"--ip", "10.77.0.-1", "A.B.C.D"},
    };
    for (const Case& c : cases) {
        const bool mac = c.option == "--mac";
        const auto parsed =
            parse({"--headless", "--mode", "manual", "--mac", mac ? c.value : "02-56-4E-00-00-D2",
                   "--ip", mac ? "10.77.0.50" : c.value});
        EXPECT_FALSE(parsed.options) << c.value;
        EXPECT_NE(parsed.error.find(c.form), std::string::npos) << c.value << ": " << parsed.error;
        EXPECT_NE(parsed.error.find(c.value), std::string::npos) << parsed.error;
    }
}

TEST(CommandLine, TakesAMacInEitherNotationAndCase) {
    for (std::string_view typed :
         {"02-56-4E-00-00-D2", "02-56-4e-00-00-d2", "02:56:4e:00:00:d2", "02:56:4E:00:00:D2"}) {
        const auto set =
            parse({"--headless", "--mode", "manual", "--mac", typed, "--ip", "255.255.255.255"});
        ASSERT_TRUE(set.options) << typed << ": " << set.error;
        EXPECT_EQ(set.options->mac, "02-56-4E-00-00-D2") << typed;
    }
    EXPECT_TRUE(CommandLine::isIpv4("0.0.0.0"));
    EXPECT_TRUE(CommandLine::isIpv4("010.1.1.1"));
}

TEST(CommandLine, PasswordSourcesVersionAndLogFile) {
    const auto update = [](std::vector<std::string_view> password) {
        std::vector<std::string_view> args = {"--headless", "--mode",    "firmware", "--ip",
                                              "10.0.0.2",   "--archive", "f.zip"};
        args.insert(args.end(), password.begin(), password.end());
        return parse(args);
    };
    const auto argument = update({"--password", "secret"});
    ASSERT_TRUE(argument.options) << argument.error;
    EXPECT_EQ(argument.options->passwordSource, CommandLine::PasswordSource::Argument);
    const auto input = update({"--password", "-"});
    ASSERT_TRUE(input.options) << input.error;
    EXPECT_EQ(input.options->passwordSource, CommandLine::PasswordSource::StandardInput);
    EXPECT_EQ(input.options->password, "");
    const auto file = update({"--password-file", "/run/pw"});
    ASSERT_TRUE(file.options) << file.error;
    EXPECT_EQ(file.options->passwordSource, CommandLine::PasswordSource::File);
    EXPECT_EQ(file.options->passwordFile, "/run/pw");
    EXPECT_FALSE(update({"--password", "x", "--password-file", "/run/pw"}).options);
    EXPECT_FALSE(update({}).options);

    EXPECT_EQ(parse({"--version"}).options->action, CommandLine::Action::Version);
    // The window keeps its log too: --log-file needs no --headless.
    const auto window = parse({"--log-file", "/tmp/v.log"});
    ASSERT_TRUE(window.options) << window.error;
    EXPECT_EQ(window.options->action, CommandLine::Action::Window);
    EXPECT_EQ(window.options->logFile, "/tmp/v.log");
    EXPECT_FALSE(parse({"--log-file="}).options);
}

TEST(CommandLine, SeveralDevicesMakeABatchAndOneStaysAnUpdate) {
    using Args = std::vector<std::string_view>;
    const Args base = {"--headless", "--mode", "firmware", "--password", "p", "--archive", "f.zip"};
    const auto with = [&](Args more) {
        Args args = base;
        args.insert(args.end(), more.begin(), more.end());
        return parse(args);
    };
    const auto batch = with({"--ip", "10.0.0.5", "--ip", "10.0.0.6", "--parallel", "16"});
    ASSERT_TRUE(batch.options) << batch.error;
    EXPECT_EQ(batch.options->action, CommandLine::Action::BatchUpdate);
    EXPECT_EQ(batch.options->ips, (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(batch.options->parallel, 16);
    EXPECT_EQ(with({"--ip-list", "devices.txt"}).options->ipList, "devices.txt");
    EXPECT_EQ(with({"--ip", "10.0.0.5"}).options->action, CommandLine::Action::Update);

    for (const Args& more :
         {Args{"--ip", "1.2.3.4", "--parallel", "0"}, Args{"--ip", "1.2.3.4", "--parallel", "17"},
          Args{"--ip", "1.2.3.4", "--parallel", "4x"},
          Args{"--ip", "1.2.3.4", "--ip-list", "devices.txt"}}) {
        EXPECT_FALSE(with(more).options) << more.back();
    }
    EXPECT_FALSE(parse({"--headless", "--mode", "manual", "--mac", "00-11-22-33-44-55", "--ip",
                        "1.2.3.4", "--ip", "1.2.3.5"})
                     .options);
}

// --help keeps every description at one column within 80, and names exactly the options that
// parse() takes: each of them, given a value, is accepted as an option.
TEST(CommandLine, HelpDescribesEveryOptionAtOneColumnAndNoOtherOption) {
    std::istringstream lines(CommandLine::usage("vantor"));
    std::set<std::string> named;
    bool options = false;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        options = options || line.starts_with("Options");
        if (!options || !line.starts_with("  ")) {
            continue;
        }
        // An option line's option ends at two blanks; a continuation line has none.
        const std::size_t optionEnd = line.starts_with("  -") ? line.find("  ", 2) : 0;
        EXPECT_EQ(line.find_first_not_of(' ', optionEnd), 24u) << line;
        std::istringstream words(line.substr(0, optionEnd));
        for (std::string word; words >> word;) {
            if (word.starts_with("-") && word != "-") {
                named.insert(word.substr(0, word.find(',')));
            }
        }
    }
    EXPECT_EQ(named,
              (std::set<std::string>{"--headless", "--mode", "--mac", "--ip", "--ip-list",
                                     "--password-file", "--password", "--archive", "--one-page",
                                     "--parallel", "--log-file", "--boot-images", "--every-device",
                                     "--devices-csv", "-h", "--help", "--version"}));
    for (const std::string& option : named) {
        const std::string error = parse({"--headless", option, "1"}).error;
        EXPECT_EQ(error.find("unknown argument '" + option), std::string::npos) << error;
    }
}

TEST(CommandLine, TheDeviceListOptionsBelongToHeadlessAuto) {
    const auto run = parse({"--headless", "--every-device", "--devices-csv", "devices.csv"});
    ASSERT_TRUE(run.options) << run.error;
    EXPECT_TRUE(run.options->everyDevice);
    EXPECT_EQ(run.options->devicesCsv, "devices.csv");
    for (const std::vector<std::string_view>& bad :
         {std::vector<std::string_view>{"--every-device"},
          {"--devices-csv", "devices.csv"},
          {"--headless", "--mode", "recovery", "--every-device"},
          {"--headless", "--mode", "manual", "--devices-csv", "devices.csv"},
          {"--headless", "--devices-csv="},
          {"--headless", "--every-device=yes"}}) {
        EXPECT_FALSE(parse(bad).options) << bad.back();
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
