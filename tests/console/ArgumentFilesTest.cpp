#include "headless/ArgumentFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "upgrade/TempDir.h"

namespace vantor {
namespace {

TEST(ArgumentFiles, FirstLineEndsAtTheLineEndAndRefusesNothingOrTooMuch) {
    const std::string longest(ArgumentFiles::kPasswordLineMax, 'p');
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"setpw\n", "setpw"},
        {"setpw\r\nsecond line\n", "setpw"},
        {"setpw", "setpw"},  // no line end at the end of the file
        {"\n", ""},          // an empty password, typed as such
        {"", std::nullopt},  // no line at all
        {" pw with spaces \n", " pw with spaces "},
        {longest + "\n", longest},
        {longest + "p\n", std::nullopt},
    };
    for (const auto& [input, expected] : cases) {
        std::istringstream in(input);
        EXPECT_EQ(ArgumentFiles::firstLine(in), expected) << input.substr(0, 40);
    }
}

TEST(ArgumentFiles, ReadsThePasswordFromItsSourceAndChecksTheArchive) {
    const test::TempDir dir;
    std::ofstream(dir.file("pw")) << "setpw\r\n";
    std::ofstream(dir.file("fw.zip")) << "PK";
    const auto update = [&](CommandLine::PasswordSource source, const std::string& archive) {
        CommandLine options;
        options.action = CommandLine::Action::Update;
        options.passwordSource = source;
        options.password = source == CommandLine::PasswordSource::Argument ? "typed" : "";
        options.passwordFile = dir.file("pw");
        options.archive = archive;
        return options;
    };
    struct Case {
        CommandLine::PasswordSource source;
        std::string archive;
        std::string input;
        std::optional<std::string> password;  // nothing: refused
        std::string said;                     // in the refusal or the warning
    };
    const std::vector<Case> cases = {
        {CommandLine::PasswordSource::File, dir.file("fw.zip"), "", "setpw", ""},
        {CommandLine::PasswordSource::StandardInput, dir.file("fw.zip"), "piped\n", "piped", ""},
        {CommandLine::PasswordSource::StandardInput, dir.file("fw.zip"), "", std::nullopt,
         "standard input"},
        {CommandLine::PasswordSource::Argument, dir.file("fw.zip"), "", "typed", "(ps)"},
        {CommandLine::PasswordSource::File, dir.file("missing.zip"), "", std::nullopt,
         "missing.zip': no such file"},
        {CommandLine::PasswordSource::File, dir.path().string(), "", std::nullopt,
         "is a directory"},
    };
    for (const Case& c : cases) {
        CommandLine options = update(c.source, c.archive);
        std::istringstream in(c.input);
        std::ostringstream warnings;
        const auto refusal = ArgumentFiles::resolve(options, in, warnings);
        EXPECT_EQ(!refusal, c.password.has_value()) << c.archive << " " << refusal.value_or("");
        if (c.password) {
            EXPECT_EQ(options.password, *c.password);
        }
        const std::string said = refusal.value_or(warnings.str());
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(warnings.str().empty(), c.source != CommandLine::PasswordSource::Argument);
    }

    CommandLine missingFile = update(CommandLine::PasswordSource::File, dir.file("fw.zip"));
    missingFile.passwordFile = dir.file("nothing");
    std::istringstream in;
    std::ostringstream warnings;
    EXPECT_NE(ArgumentFiles::resolve(missingFile, in, warnings)
                  .value_or("")
                  .find("--password-file '" + dir.file("nothing") + "': no such file"),
              std::string::npos);
}

// The address list is taken whole at 1048576 bytes and refused at 1048577; the password file's
// first line counts, however much follows it.
TEST(ArgumentFiles, TakesAnAddressListOfAtMost1048576BytesAndAPasswordFilesFirstLine) {
    const test::TempDir dir;
    const std::string list = "10.0.0.5\n#" + std::string(1048576 - 11, '-') + "\n";
    const std::string password(ArgumentFiles::kPasswordLineMax, 'p');
    std::ofstream(dir.file("list")) << list;
    std::ofstream(dir.file("pw")) << password << "\n" << list;
    std::ofstream(dir.file("fw.zip")) << "PK";
    CommandLine options;
    options.action = CommandLine::Action::BatchUpdate;
    options.ipList = dir.file("list");
    options.passwordSource = CommandLine::PasswordSource::File;
    options.passwordFile = dir.file("pw");
    options.archive = dir.file("fw.zip");
    std::istringstream in;
    std::ostringstream warnings;
    EXPECT_EQ(ArgumentFiles::resolve(options, in, warnings), std::nullopt);
    EXPECT_EQ(options.batchAddresses, std::vector<std::string>{"10.0.0.5"});
    EXPECT_EQ(options.password, password);
    std::ofstream(dir.file("list"), std::ios::app) << "\n";
    EXPECT_EQ(ArgumentFiles::resolve(options, in, warnings),
              "--ip-list '" + dir.file("list") + "': larger than 1048576 bytes");
}

}  // namespace
}  // namespace vantor
