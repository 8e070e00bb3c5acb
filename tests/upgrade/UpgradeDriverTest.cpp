#include "upgrade/UpgradeDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "console/OperatorConsole.h"
#include "support/ConsoleHarness.h"
#include "support/Eventually.h"
#include "upgrade/ComputeCrc.h"
#include "upgrade/FakeCodeUpdateDevice.h"
#include "upgrade/FakeDeviceWorkers.h"
#include "upgrade/TempDir.h"
#include "upgrade/UpdateFileFormat.h"
#include "upgrade/UpgradeArchives.h"

namespace vantor {
namespace {

using test::Bytes;
using test::FakeCodeUpdateDevice;
using test::FakeDeviceWorkers;
using test::SentPacket;
using Lines = std::vector<std::string>;

const std::string kDeviceIp = "10.1.2.3";

class UpgradeDriverTest : public ::testing::Test {
  protected:
    UpgradeDriverTest()
        : device_(std::make_unique<FakeCodeUpdateDevice>(test::goodDevice(1))),
          workers_([this](const std::string& ip, int) {
              ++transportsMade_;
              EXPECT_EQ(ip, kDeviceIp);
              return device_->transport();
          }) {
        ConsoleServices services{interfaces_, workers_, test::fastTimings()};
        services.pinger = &pinger_;
        services.reportPrivileges = false;
        console_ = std::make_unique<OperatorConsole>(std::move(services));
        console_->attachView(&view_);
        console_->Initialize();
        console_->OnRadioClicked(ControlId::RadioFirmwareFile);
        pinger_.answer(kDeviceIp);
    }
    ~UpgradeDriverTest() override {
        console_->Shutdown();
        console_->attachView(nullptr);
    }

    void useDevice(FakeCodeUpdateDevice::Responder responder) {
        device_ = std::make_unique<FakeCodeUpdateDevice>(std::move(responder));
    }

    void fill(const std::string& archive, const std::string& password = "setpw",
              const std::string& ip = kDeviceIp, bool onePage = false) {
        std::vector<std::string> octets(4);
        std::size_t field = 0;
        for (const char c : ip) {
            c == '.' ? void(++field) : octets[std::min<std::size_t>(field, 3)].push_back(c);
        }
        for (std::size_t i = 0; i < kIpControls.size(); ++i) {
            console_->OnFieldEdited(kIpControls[i], octets[i]);
        }
        console_->OnTextEdited(ControlId::PasswordEdit, password);
        console_->OnTextEdited(ControlId::FirmwarePath, archive);
        console_->OnCheckToggled(ControlId::OnePageCheck, onePage);
    }

    UpgradeRuns runs() const { return console_->upgradeDriver()->runs(); }

    // Serves the console's queue until done() holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        if (!test::eventually(done, limit, std::chrono::milliseconds(2),
                              [this](Millis wait) { console_->dispatcher().drainAndWait(wait); })) {
            return false;
        }
        console_->dispatcher().drain();
        return true;
    }

    // Presses Update and waits for the run to end; false when no run started.
    bool update() {
        const int before = runs().started;
        console_->OnUpdate();
        if (runs().started == before) {
            return false;
        }
        EXPECT_TRUE(pumpUntil([&] { return runs().ended == runs().started; }));
        return true;
    }

    std::string archive(const std::vector<test::ZipMember>& members) {
        return test::writeArchive(dir_, "fw.zip", members);
    }

    Lines rows() { return view_.rows(); }
    bool hasRow(const std::string& row) {
        const Lines all = rows();
        return std::find(all.begin(), all.end(), row) != all.end();
    }
    Lines lastRows(std::size_t count) {
        const Lines all = rows();
        return Lines(all.end() - static_cast<std::ptrdiff_t>(std::min(count, all.size())),
                     all.end());
    }

    static Lines failed(const std::string& line) {
        return {line, "> System update has not completed.\n", "> ready...\n"};
    }

    test::TempDir dir_;
    test::FakeInterfaceSource interfaces_;
    test::FakePinger pinger_;
    test::RecordingView view_;
    std::unique_ptr<FakeCodeUpdateDevice> device_;
    int transportsMade_ = 0;
    FakeDeviceWorkers workers_;
    std::unique_ptr<OperatorConsole> console_;
};

const Bytes kMicrocode = test::microcodeFile(1, 40000);
const Bytes kBin = test::patternBytes(3000, 31);
const Bytes kLogo = test::patternBytes(900, 32);

// The first page of each region the device received, with the model queries as -1.
std::vector<int> regionStarts(const std::vector<SentPacket>& sent) {
    std::vector<int> starts;
    bool inRegion = false;
    for (const auto& p : sent) {
        if (p.command == TFTP_MODEL) {
            starts.push_back(-1);
        } else if (p.command == TFTP_DATA && !inRegion && p.page != kClearPage) {
            starts.push_back(p.page);
            inRegion = true;
        } else if (p.command == TFTP_END) {
            inRegion = false;
        }
    }
    return starts;
}

// ---- Refusals before a run ----------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    std::string path;
    std::string password;
    std::string ip;
    std::string message;  // empty: none
    std::optional<ControlId> focus;
    Lines rows;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateRefusal : public UpgradeDriverTest,
                      public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UpdateRefusal, StartsNoRun) {
    const RefusalCase& c = GetParam();
    fill(c.path, c.password, c.ip);
    console_->report().appendStatus(tagOf(ConsoleMode::FirmwareFile), "an earlier row\n");
    EXPECT_FALSE(update());
    EXPECT_EQ(runs().started, 0);
    EXPECT_EQ(console_->upgradeActive(), false);
    EXPECT_EQ(rows(), c.rows) << "the log is cleared first";
    EXPECT_EQ(view_.messages(), c.message.empty() ? Lines{} : Lines{c.message});
    if (c.focus) {
        EXPECT_EQ(view_.focused(), c.focus);
    }
    EXPECT_TRUE(view_.control(ControlId::UpdateButton).enabled);
    EXPECT_EQ(transportsMade_, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateRefusal,
    ::testing::Values(RefusalCase{"NoFile",
                                  "",
                                  "pw",
                                  kDeviceIp,
                                  "Error! Firmware file is not entered.",
                                  ControlId::UpdateButton,
                                  {}},
                      RefusalCase{"NoPassword",
                                  "/media/fw.zip",
                                  "",
                                  kDeviceIp,
                                  "Error! Password is not entered.",
                                  ControlId::PasswordEdit,
                                  {}},
                      RefusalCase{"LoopbackAddress",
                                  "/media/fw.zip",
                                  "pw",
                                  "127.0.0.1",
                                  "",
                                  std::nullopt,
                                  {"> Error: Invalid IP address\r\n", "> Ready...\r\n"}},
                      RefusalCase{"HostPartZero",
                                  "/media/fw.zip",
                                  "pw",
                                  "10.1.2.0",
                                  "",
                                  std::nullopt,
                                  {"> Error: Invalid IP address\r\n", "> Ready...\r\n"}}),
    [](const ::testing::TestParamInfo<RefusalCase>& param) {
        return std::string(param.param.name);
    });

// ---- Runs that fail before sending --------------------------------------------------------------

TEST_F(UpgradeDriverTest, SilentDeviceGetsNothingAndTheArchiveIsNotOpened) {
    pinger_.answer(kDeviceIp, false);
    fill(dir_.file("missing.zip"));
    ASSERT_TRUE(update());
    EXPECT_EQ(rows(), failed("> System on IP address  10.1.2.3 is not responding.\n"));
    EXPECT_EQ(transportsMade_, 0);
    const auto calls = pinger_.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].attempts, 2);
    EXPECT_EQ(calls[0].dataSize, 96u);
    EXPECT_FALSE(runs().lastSucceeded);
}

TEST_F(UpgradeDriverTest, ArchiveThatCannotBeOpenedIsNamedByItsKind) {
    // A file that cannot be opened: the program's line, then why (the path, not the contents).
    const std::string wrongZip =
        "> Error! Unrecognized firmware file: You may selected a wrong zip file.\n";
    for (const auto& [path, why] : std::vector<std::pair<std::string, std::string>>{
             {dir_.file("missing.zip"), "no such file"},
             {dir_.path().string(), "is a directory"}}) {
        fill(path);
        ASSERT_TRUE(update());
        Lines expected = failed(wrongZip);
        expected.insert(expected.begin() + 1, "> " + path + ": " + why + "\n");
        EXPECT_EQ(rows(), expected);
    }

    const std::string junk = dir_.file("junk.zip");
    std::ofstream(junk) << "not a zip!";
    fill(junk);
    ASSERT_TRUE(update());
    EXPECT_EQ(rows(), failed("> File format is not correct."));
    EXPECT_EQ(transportsMade_, 0);
}

TEST_F(UpgradeDriverTest, DuplicateMembersFailBeforeAnythingIsSent) {
    fill(archive({test::firmwareMember("a.gif", kLogo), test::firmwareMember("fw.enc", kMicrocode),
                  test::firmwareMember("b.gif", kLogo)}));
    ASSERT_TRUE(update());
    EXPECT_EQ(rows(), failed("> Zif file has more than one gif file"));
    EXPECT_EQ(transportsMade_, 0);

    fill(archive({test::firmwareMember("readme.txt", kLogo)}));
    ASSERT_TRUE(update());
    EXPECT_EQ(rows(), failed("> Zip file does not have enc or bin file"));
}

TEST_F(UpgradeDriverTest, WrongArchivePasswordShowsAMessageBox) {
    auto member = test::firmwareMember("fw.enc", kMicrocode);
    member.password = "wqzx";  // its check byte differs from the right password's
    fill(archive({member}));
    ASSERT_TRUE(update());
    EXPECT_EQ(view_.messages(), Lines{"bad password"});
    EXPECT_EQ(lastRows(3), failed("> Could not open zip file : 0\n"));
    EXPECT_TRUE(device_->sent().empty());
}

// ---- Malformed archives ---------------------------------------------------------------------
// Damaged and hostile archives, each refused with its own line before anything reaches the
// device. With VANTOR_ARCHIVE_CORPUS set to a folder, the archives are also written there (that
// is how fuzz/corpus/fuzz_firmware_archive got its malformed seeds).

// A microcode and a logo member whose names have the same length, so that a central entry
// can be pointed at the other member's local header without tripping the name check.
test::ZipLayout goodLayout() {
    return test::buildZip(
        {test::firmwareMember("fw.enc", kMicrocode), test::firmwareMember("lg.gif", kLogo)});
}

struct MalformedCase {
    const char* name;
    Bytes (*make)();
    std::string line;  // the row in front of the closing rows
    bool badPassword = false;
};

void PrintTo(const MalformedCase& c, std::ostream* out) {
    *out << c.name;
}

class MalformedArchive : public UpgradeDriverTest,
                         public ::testing::WithParamInterface<MalformedCase> {
  protected:
    void expectRefused(const Bytes& bytes, const std::string& name, const std::string& line,
                       bool badPassword) {
        SCOPED_TRACE(name);
        if (const char* corpus = std::getenv("VANTOR_ARCHIVE_CORPUS")) {
            std::ofstream(std::filesystem::path(corpus) / ("malformed-" + name + ".zip"),
                          std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        const std::string path = dir_.file("malformed.zip");
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        fill(path);
        ASSERT_TRUE(update());
        EXPECT_FALSE(runs().lastSucceeded);
        EXPECT_EQ(lastRows(3), failed(line));
        EXPECT_EQ(view_.messages(), badPassword ? Lines{"bad password"} : Lines{});
        EXPECT_TRUE(device_->sent().empty());
    }
};

TEST_P(MalformedArchive, IsRefusedWithItsLineAndNothingIsSent) {
    expectRefused(GetParam().make(), GetParam().name, GetParam().line, GetParam().badPassword);
}

TEST_F(MalformedArchive, CutAtAnyRecordBoundaryIsNotAZipFile) {
    const auto layout = goodLayout();
    const std::vector<std::pair<const char*, std::size_t>> cuts = {
        {"local-0", layout.localOffsets[0]},
        {"data-0", layout.dataOffsets[0]},
        {"local-1", layout.localOffsets[1]},
        {"data-1", layout.dataOffsets[1]},
        {"central-0", layout.centralOffsets[0]},
        {"central-1", layout.centralOffsets[1]},
        {"end", layout.endOffset},
    };
    for (const auto& [where, at] : cuts) {
        expectRefused(Bytes(layout.bytes.begin(), layout.bytes.begin() + static_cast<long>(at)),
                      std::string("cut-at-") + where, "> File format is not correct.", false);
    }
}

const std::string kNotOpened = "> Could not open zip file : 0\n";

INSTANTIATE_TEST_SUITE_P(
    Corpus, MalformedArchive,
    ::testing::Values(
        // Member names are never used as paths; one that is only a path is no firmware.
        MalformedCase{
            "dot-dot-name",
            [] {
                return test::buildZip({test::firmwareMember("../../../etc/passwd", kLogo)}).bytes;
            },
            "> Zip file does not have enc or bin file"},
        // The logo's central entry names the microcode's local header, sizes and CRC: read
        // through it, the microcode would be sent a second time as the logo.
        MalformedCase{"shared-local-header",
                      [] {
                          auto z = goodLayout();
                          const std::size_t from = z.centralOffsets[0];
                          const std::size_t to = z.centralOffsets[1];
                          for (const std::size_t field :
                               {test::kCentralCrc, test::kCentralCompressedSize,
                                test::kCentralUncompressedSize, test::kCentralLocalOffset}) {
                              test::putLe32(z.bytes, to + field,
                                            test::getLe32(z.bytes, from + field));
                          }
                          return z.bytes;
                      },
                      kNotOpened},
        // The microcode's data claims to run on into the logo's local header.
        MalformedCase{
            "overlapping-data",
            [] {
                auto z = goodLayout();
                const auto size =
                    static_cast<std::uint32_t>(z.localOffsets[1] - z.dataOffsets[0] + 8);
                test::putLe32(z.bytes, z.localOffsets[0] + test::kLocalCompressedSize, size);
                test::putLe32(z.bytes, z.centralOffsets[0] + test::kCentralCompressedSize, size);
                return z.bytes;
            },
            kNotOpened},
        MalformedCase{"sizes-disagree",
                      [] {
                          auto z = goodLayout();
                          const auto size = test::getLe32(
                              z.bytes, z.localOffsets[0] + test::kLocalUncompressedSize);
                          test::putLe32(z.bytes, z.localOffsets[0] + test::kLocalUncompressedSize,
                                        size + 1);
                          return z.bytes;
                      },
                      kNotOpened},
        // Only the low byte changes: the high byte is the password check byte.
        MalformedCase{"bad-crc",
                      [] {
                          auto z = goodLayout();
                          z.bytes[z.localOffsets[0] + test::kLocalCrc] ^= 0x5A;
                          z.bytes[z.centralOffsets[0] + test::kCentralCrc] ^= 0x5A;
                          return z.bytes;
                      },
                      "> Error! Could not read zip file : 0\n"},
        MalformedCase{"wrong-password",
                      [] {
                          auto member = test::firmwareMember("fw.enc", kMicrocode);
                          member.password = "wqzx";
                          return test::buildZip({member}).bytes;
                      },
                      kNotOpened, true},
        MalformedCase{"method-12",
                      [] {
                          auto z = goodLayout();
                          test::putLe16(z.bytes, z.localOffsets[0] + test::kLocalMethod, 12);
                          test::putLe16(z.bytes, z.centralOffsets[0] + test::kCentralMethod, 12);
                          return z.bytes;
                      },
                      kNotOpened},
        MalformedCase{"comment-past-the-end",
                      [] {
                          auto z = goodLayout();
                          test::putLe16(z.bytes, z.endOffset + test::kEndCommentLength, 1000);
                          return z.bytes;
                      },
                      "> Error! Unrecognized firmware file: You may selected a wrong zip file.\n"}),
    [](const ::testing::TestParamInfo<MalformedCase>& param) {
        std::string name = param.param.name;
        std::erase(name, '-');
        return name;
    });

// ---- Complete runs
// --------------------------------------------------------------------------------

TEST_F(UpgradeDriverTest, FullRunSendsMicrocodeWaitsForTheRebootThenBinAndLogo) {
    fill(archive({test::firmwareMember("logo.gif", kLogo), test::firmwareMember("image.bin", kBin),
                  test::firmwareMember("dir/update.enc", kMicrocode)}));
    ASSERT_TRUE(update());
    EXPECT_TRUE(runs().lastSucceeded);
    // Model query, tail, microcode; then after the reboot a model query, the bin and the logo.
    EXPECT_EQ(regionStarts(device_->sent()), (std::vector<int>{-1, 1690, 0, -1, 0, 1385}));
    const Lines expected = {
        "> Sending the new microcode to the remote system\n", "> Getting auraNode model...\n",
        "> Waiting to complete upgrade, Do Not Unplug.\n",    "> System reboot completed.\n",
        "> Sending the new gif logo to the remote system\n",  "> Upgrade Complete\n",
    };
    for (const auto& line : expected) {
        EXPECT_TRUE(hasRow(line)) << line;
    }
    EXPECT_EQ(lastRows(1), Lines{"> Upgrade Complete\n"});
    EXPECT_EQ(console_->serverIP(), kDeviceIp);
    EXPECT_EQ(console_->bannerState(), BannerState::DeviceReady);
    for (ControlId id : {ControlId::UpdateButton, ControlId::BrowseButton, ControlId::RadioAuto}) {
        EXPECT_TRUE(view_.control(id).enabled) << controlName(id);
    }
    const auto calls = pinger_.calls();
    ASSERT_EQ(calls.size(), 2u);  // before the run, and the first reboot check answered
    EXPECT_EQ(calls[1].dataSize, 96u);
}

TEST_F(UpgradeDriverTest, LogoOnlyRunAsksForTheModelAndHasNoRebootWait) {
    fill(archive(
        {test::firmwareMember("readme.txt", kBin), test::firmwareMember("logo.gif", kLogo)}));
    ASSERT_TRUE(update());
    EXPECT_TRUE(runs().lastSucceeded);
    EXPECT_EQ(regionStarts(device_->sent()), (std::vector<int>{-1, 1385}));
    EXPECT_FALSE(hasRow("> Waiting to complete upgrade, Do Not Unplug.\n"));
    EXPECT_EQ(pinger_.calls().size(), 1u);
}

TEST_F(UpgradeDriverTest, MicrocodeAndLogoSendTheLogoWithoutAnotherModelQuery) {
    fill(archive({test::firmwareMember("update.enc", kMicrocode),
                  test::firmwareMember("logo.gif", kLogo)}),
         "setpw", kDeviceIp, true);
    ASSERT_TRUE(update());
    EXPECT_TRUE(runs().lastSucceeded);
    EXPECT_EQ(regionStarts(device_->sent()), (std::vector<int>{-1, 1690, 0, 1385}));
    const auto data = test::ofCommand(device_->sent(), TFTP_DATA);
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](auto& p) { return p.count == 1; }))
        << "the check box asks for one page per packet";
}

TEST_F(UpgradeDriverTest, DeviceThatDoesNotComeBackAfterTheMicrocode) {
    useDevice([this](const SentPacket& p, std::size_t i) {
        if (p.command == TFTP_END && p.count == END_FINISH) {
            pinger_.answer(kDeviceIp, false);  // the device restarts and never answers again
        }
        return test::goodDevice(1)(p, i);
    });
    fill(archive(
        {test::firmwareMember("update.enc", kMicrocode), test::firmwareMember("logo.gif", kLogo)}));
    ASSERT_TRUE(update());
    EXPECT_EQ(view_.messages(), Lines{"Cannot ping the device"});
    EXPECT_EQ(lastRows(2), (Lines{"> System update has not completed.\n", "> ready...\n"}));
    EXPECT_EQ(pinger_.calls().size(), 1u + 20u * 30u);
    EXPECT_EQ(regionStarts(device_->sent()), (std::vector<int>{-1, 1690, 0})) << "no logo";
    EXPECT_TRUE(console_->serverIP().empty());
}

TEST_F(UpgradeDriverTest, PcThatMayNotPingSaysSoInsteadOfBlamingTheDevice) {
    pinger_.answer(kDeviceIp, true);
    pinger_.forbidEcho();
    fill(dir_.file("missing.zip"));
    ASSERT_TRUE(update());
    EXPECT_EQ(rows(), failed("> Error: This PC cannot send pings, so whether the system on IP "
                             "address 10.1.2.3 responds is not known. Run it as root, or give "
                             "the program the capabilities with \"setcap cap_net_raw+ep\".\n"));
}

TEST_F(UpgradeDriverTest, EveryRunReadsTheFieldsAgainAndReusesTheDriver) {
    const std::string path = archive({test::firmwareMember("logo.gif", kLogo)});
    fill(path);
    ASSERT_TRUE(update());
    pinger_.answer(kDeviceIp, false);
    ASSERT_TRUE(update());
    EXPECT_EQ(runs().started, 2);
    EXPECT_FALSE(runs().lastSucceeded);
    EXPECT_EQ(rows(), failed("> System on IP address  10.1.2.3 is not responding.\n"))
        << "the second run cleared the first one's rows";
}

// An update file of type 9 for model 1: a header with the check value of its whole image, which
// the sender sends as the tail region.
Bytes typeNineFile(std::size_t imageLength) {
    const Bytes image = test::patternBytes(imageLength, 99);
    Bytes file(kUpdateHeaderSize);
    file[kUpdateHeaderMagicOffset] = kUpdateMagic;
    file[kUpdateHeaderTypeOffset] = static_cast<std::uint8_t>(1 << kModelShift | KIND_TAIL);
    test::putLe16(file, kUpdateHeaderCrcOffset, computeCrc(image));
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

// The bytes of the tail region's data packets among `sent`, from the index `from` on.
Bytes tailPages(const std::vector<SentPacket>& sent, std::size_t from) {
    Bytes bytes;
    for (std::size_t i = from; i < sent.size(); ++i) {
        const SentPacket& p = sent[i];
        if (p.command == TFTP_DATA && p.page >= kTailFirstPage && p.page < kTailEndPage) {
            bytes.insert(bytes.end(), p.body.begin(), p.body.end());
        }
    }
    return bytes;
}

TEST_F(UpgradeDriverTest, ATypeNineMemberAfterAMicrocodeRunSendsNoByteOfTheEarlierTail) {
    fill(archive({test::firmwareMember("update.enc", kMicrocode)}));
    ASSERT_TRUE(update());
    ASSERT_TRUE(runs().lastSucceeded);
    const Bytes firstTail = tailPages(device_->sent(), 0);
    ASSERT_EQ(firstTail, test::expectedTail(kMicrocode));

    const std::size_t before = device_->sent().size();
    fill(test::writeArchive(dir_, "nine.zip",
                            {test::firmwareMember("update.enc", typeNineFile(5000))}));
    ASSERT_TRUE(update());
    EXPECT_TRUE(runs().lastSucceeded);
    const std::vector<SentPacket> sent = device_->sent();
    EXPECT_EQ(regionStarts(std::vector<SentPacket>(
                  sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end())),
              (std::vector<int>{-1, kTailFirstPage}));
    const Bytes secondTail = tailPages(sent, before);
    ASSERT_EQ(secondTail.size(), kTailRegionSize);
    EXPECT_EQ(secondTail, Bytes(kTailRegionSize, 0));
}

// ---- One run at a time, and stops
// -----------------------------------------------------------------

// A device that keeps answering a model query with another model than the update file's: the
// query goes on until a stop.
FakeCodeUpdateDevice::Responder endlessQuery() {
    return [](const SentPacket&, std::size_t) {
        return FakeCodeUpdateDevice::Replies{test::reply(TFTP_ACK, 9)};
    };
}

TEST_F(UpgradeDriverTest, SecondPressWhileARunIsStartingStartsNoSecondRun) {
    useDevice(endlessQuery());
    fill(archive({test::firmwareMember("update.enc", kMicrocode)}));
    console_->OnUpdate();
    EXPECT_FALSE(view_.control(ControlId::UpdateButton).enabled)
        << "disabled before the worker's first step";
    console_->OnUpdate();
    EXPECT_EQ(runs().started, 1);
    ASSERT_TRUE(pumpUntil([&] { return device_->sent().size() > 3; }));
    console_->OnUpdate();
    EXPECT_EQ(runs().started, 1);
    EXPECT_EQ(transportsMade_, 1);
}

TEST_F(UpgradeDriverTest, LeavingTheModeDuringTheModelQueryStopsTheRun) {
    useDevice(endlessQuery());
    fill(archive({test::firmwareMember("update.enc", kMicrocode)}));
    console_->OnUpdate();
    ASSERT_TRUE(pumpUntil([&] { return device_->sent().size() > 20; }));
    ASSERT_TRUE(view_.control(ControlId::RadioAuto).enabled) << "enabled during the query";
    console_->OnRadioClicked(ControlId::RadioAuto);  // returns once the worker has ended
    EXPECT_EQ(console_->mode(), ConsoleMode::Auto);
    EXPECT_EQ(console_->upgradeActive(), false);
    EXPECT_EQ(runs().ended, 1);
    EXPECT_FALSE(runs().lastSucceeded);
}

TEST_F(UpgradeDriverTest, ClosingTheWindowDuringARunStopsItAndWaits) {
    useDevice(endlessQuery());
    fill(archive({test::firmwareMember("update.enc", kMicrocode)}));
    console_->OnUpdate();
    ASSERT_TRUE(pumpUntil([&] { return device_->sent().size() > 5; }));
    console_->Shutdown();
    EXPECT_EQ(console_->upgradeActive(), false);
    EXPECT_EQ(runs().ended, 1);
}

TEST_F(UpgradeDriverTest, StopRequestedDuringTheRebootWaitEndsIt) {
    useDevice([this](const SentPacket& p, std::size_t i) {
        if (p.command == TFTP_END && p.count == END_FINISH) {
            pinger_.answer(kDeviceIp, false);
        }
        return test::goodDevice(1)(p, i);
    });
    fill(archive({test::firmwareMember("update.enc", kMicrocode)}));
    console_->OnUpdate();
    ASSERT_TRUE(pumpUntil([&] { return pinger_.calls().size() > 3; }));
    console_->Shutdown();
    EXPECT_EQ(runs().ended, 1);
    EXPECT_LT(pinger_.calls().size(), 1u + 20u * 30u);
    EXPECT_TRUE(view_.messages().empty()) << "a stopped run is no failure to report";
}

// ---- Browse -------------------------------------------------------------------------------------

TEST_F(UpgradeDriverTest, BrowsePutsTheChosenArchiveIntoTheFileField) {
    view_.chosenFile = "/media/usb/fw.zip";
    console_->OnBrowse();
    EXPECT_EQ(view_.lastFileFilter, "Zip File (*.zip)|*.zip||");
    EXPECT_EQ(console_->panel().text(ControlId::FirmwarePath), "/media/usb/fw.zip");
    EXPECT_EQ(view_.control(ControlId::FirmwarePath).text, "/media/usb/fw.zip");

    view_.chosenFile.reset();
    console_->OnBrowse();
    EXPECT_EQ(console_->panel().text(ControlId::FirmwarePath), "/media/usb/fw.zip");
    EXPECT_EQ(console_->bannerState(), BannerState::Instructions);
}

}  // namespace
}  // namespace vantor
