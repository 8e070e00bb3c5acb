#include "upgrade/CodeUpdateSender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "ports/ConsoleMode.h"
#include "upgrade/ComputeCrc.h"
#include "upgrade/FakeCodeUpdateDevice.h"
#include "upgrade/ZipWriter.h"

namespace vantor {
namespace {

using test::Bytes;
using test::FakeCodeUpdateDevice;
using test::reply;
using test::SentPacket;
using Replies = FakeCodeUpdateDevice::Replies;
using Lines = std::vector<std::string>;

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

constexpr std::uint8_t kModel = 2;

class LineSink final : public StatusSink {
  public:
    void AppendStatus(int statusTag, const std::string& text) override {
        EXPECT_EQ(statusTag, tagOf(ConsoleMode::FirmwareFile));
        lines.push_back(text);
    }
    Lines lines;
};

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The bytes of a region as the device receives them: every data packet's body in order.
Bytes stream(const std::vector<SentPacket>& data) {
    Bytes out;
    for (const auto& p : data) {
        out.insert(out.end(), p.body.begin(), p.body.end());
    }
    return out;
}

std::uint16_t le16(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A device that answers model queries and accepts everything else, except what `special`
// answers first (an empty answer falls through to the good device).
FakeCodeUpdateDevice::Responder deviceWith(
    std::function<std::optional<Replies>(const SentPacket&, std::size_t)> special) {
    return [special](const SentPacket& p, std::size_t i) {
        if (auto r = special(p, i)) {
            return *r;
        }
        return test::goodDevice(kModel)(p, i);
    };
}

class CodeUpdateSenderTest : public ::testing::Test {
  protected:
    CodeUpdateSenderTest() {
        timings_.codeUpdateReceive = std::chrono::milliseconds(1);
        timings_.microcodePause = std::chrono::milliseconds(0);
        settings_.setPassword = "secret";
        settings_.model = kModel;
    }

    // A microcode image of `pages` pages past its 8 extra bytes, with a tail region.
    void microcode(std::size_t pages) {
        const Bytes bytes = test::patternBytes(kHeaderRegionExtra + pages * kCodeUpdatePageSize, 3);
        std::copy(bytes.begin(), bytes.end(), image_.imageBuffer.begin());
        image_.imageLength = static_cast<std::uint32_t>(bytes.size());
        const Bytes tail = test::patternBytes(kTailRegionSize, 4);
        std::copy(tail.begin(), tail.end(), image_.tailBuffer.begin());
        image_.fileType = TYPE_MICROCODE;
        image_.model = kModel;
        settings_.hasHeader = true;
    }

    // A member without header of `length` bytes.
    void raw(std::uint8_t type, std::size_t length) {
        const Bytes bytes = test::patternBytes(length, 5);
        std::copy(bytes.begin(), bytes.end(), image_.imageBuffer.begin());
        image_.imageLength = static_cast<std::uint32_t>(length);
        image_.fileType = type;
        settings_.hasHeader = false;
    }

    int transfer(FakeCodeUpdateDevice& device, std::uint8_t kind) {
        const auto transport = device.transport();
        CodeUpdateSender sender(*transport, sink_, timings_, stop_,
                                [&](bool on) { radios_.push_back(on); });
        sender.setVersionFallback(fallback_);
        const int result = sender.transferFile(kind, image_, settings_);
        fallback_ = sender.versionFallback();
        return result;
    }

    Timings timings_;
    StopSignal stop_;
    LineSink sink_;
    std::vector<bool> radios_;
    UpdateImage image_;
    CodeUpdateSettings settings_;
    bool fallback_ = false;
};

// ---- Regions --------------------------------------------------------------------------------

struct ModeCase {
    const char* name;
    bool onePage;
    std::vector<std::uint16_t> pages;
    std::vector<std::uint8_t> flags;
};

void PrintTo(const ModeCase& c, std::ostream* out) {
    *out << c.name;
}

class MicrocodeRegion : public CodeUpdateSenderTest,
                        public ::testing::WithParamInterface<ModeCase> {};

TEST_P(MicrocodeRegion, SendsPagesEndClearPageAndFinalEnd) {
    microcode(6);
    settings_.onePagePerPacket = GetParam().onePage;
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    ASSERT_EQ(transfer(device, TYPE_MICROCODE), 1) << ::testing::PrintToString(sink_.lines);

    const auto sent = device.sent();
    ASSERT_GE(sent.size(), 3u);
    const std::vector<SentPacket> data(sent.begin(), sent.end() - 3);
    std::vector<std::uint16_t> pages;
    std::vector<std::uint8_t> flags;
    for (const auto& p : data) {
        EXPECT_EQ(p.command, TFTP_DATA);
        EXPECT_EQ(p.version, 0x0011);
        EXPECT_EQ(p.password, (Bytes{'s', 'e', 'c', 'r', 'e', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        const std::size_t extra = p.flags == 0x81 ? kHeaderRegionExtra : 0;
        EXPECT_EQ(p.length, 23 + p.count * kCodeUpdatePageSize + extra);
        pages.push_back(p.page);
        flags.push_back(p.flags);
    }
    EXPECT_EQ(pages, GetParam().pages);
    EXPECT_EQ(flags, GetParam().flags);
    // The stream is the image from its start: the extra bytes, then the pages, unbroken.
    const Bytes expected(image_.imageBuffer.begin(),
                         image_.imageBuffer.begin() + kHeaderRegionExtra + 6 * 256);
    EXPECT_EQ(stream(data), expected);

    const SentPacket& end = sent[sent.size() - 3];
    EXPECT_EQ(end.command, TFTP_END);
    EXPECT_EQ(end.count, END_CODE);
    EXPECT_EQ(end.flags, 1);
    EXPECT_EQ(end.page, 0);
    ASSERT_EQ(end.body.size(), 6u);
    EXPECT_EQ(le16(end.body, 0), 0);
    EXPECT_EQ(le16(end.body, 2), 6);
    // The check value covers as many bytes as the pages, from the start of the stream: the
    // extra bytes and all but the last 8 bytes of the pages.
    EXPECT_EQ(le16(end.body, 4), computeCrc(std::span(expected).first(6 * 256)));

    const SentPacket& clear = sent[sent.size() - 2];
    EXPECT_EQ(clear.command, TFTP_DATA);
    EXPECT_EQ(clear.count, 1);
    EXPECT_EQ(clear.flags, 1);
    EXPECT_EQ(clear.page, kClearPage);
    EXPECT_EQ(clear.length, 279u);
    EXPECT_EQ(clear.body, Bytes(256, 0));

    const SentPacket& finish = sent.back();
    EXPECT_EQ(finish.command, TFTP_END);
    EXPECT_EQ(finish.count, END_FINISH);
    EXPECT_EQ(finish.flags, 1);
    EXPECT_EQ(finish.body, end.body);

    EXPECT_EQ(sink_.lines.back(), "> File Transfered (End transferFile)\n");
    EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], "> Finishing transfering microcode\n");
    EXPECT_EQ(sink_.lines.front(), GetParam().onePage ? "> Sending Code Update pages 0 to 0\n"
                                                      : "> Sending Code Update pages 0 to 3\n");
    EXPECT_TRUE(radios_.empty()) << "no model query in a microcode region";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, MicrocodeRegion,
    ::testing::Values(ModeCase{"FourPages", false, {0, 4}, {0x81, 0}},
                      ModeCase{"OnePage", true, {0, 1, 2, 3, 4, 5}, {0x81, 1, 1, 1, 0, 0}}),
    caseName<ModeCase>);

TEST_F(CodeUpdateSenderTest, LogoRegionSendsSixteenPagesWithoutFlags) {
    raw(TYPE_LOGO, 102);
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    ASSERT_EQ(transfer(device, TYPE_LOGO), 1);
    const auto sent = device.sent();
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sent[i].page, 1385 + 4 * i);
        EXPECT_EQ(sent[i].flags, 0);
        EXPECT_EQ(sent[i].count, 4);
    }
    EXPECT_EQ(sent[4].command, TFTP_END);
    EXPECT_EQ(sent[4].count, END_CODE);
    EXPECT_EQ(sent[4].flags, 0);
    EXPECT_EQ(le16(sent[4].body, 0), 1385);
    EXPECT_EQ(le16(sent[4].body, 2), 1401);
    EXPECT_EQ(sink_.lines.back(), "> File Transfered (End transferFile)\n");
}

TEST_F(CodeUpdateSenderTest, BinRegionSendsAllItsPagesWhateverTheMemberLength) {
    raw(TYPE_BIN, 1000);
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    ASSERT_EQ(transfer(device, TYPE_BIN), 1);
    const auto sent = device.sent();
    const auto data = test::ofCommand(sent, TFTP_DATA);
    ASSERT_EQ(data.size(), 212u);  // 211 packets of 4 pages and one of 1
    EXPECT_EQ(data.back().page, 844);
    EXPECT_EQ(data.back().count, 1);
    const Bytes all = stream(data);
    ASSERT_EQ(all.size(), 216320u);
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + 1000, image_.imageBuffer.begin()));
    EXPECT_TRUE(std::all_of(all.begin() + 1000, all.end(), [](auto b) { return b == 0; }));
    const SentPacket& end = sent.back();
    EXPECT_EQ(end.count, END_BIN);
    EXPECT_EQ(le16(end.body, 2), 845);
    EXPECT_EQ(le16(end.body, 4), computeCrc(all));
}

TEST_F(CodeUpdateSenderTest, TailAsksForTheModelThenSendsTheTailBufferWithoutCompletionLine) {
    microcode(6);
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    ASSERT_EQ(transfer(device, KIND_TAIL), 1);
    const auto sent = device.sent();
    ASSERT_EQ(sent.front().command, TFTP_MODEL);
    EXPECT_EQ(sent.front().length, 23u);
    const auto data = test::ofCommand(sent, TFTP_DATA);
    ASSERT_EQ(data.size(), 28u);
    EXPECT_EQ(data.front().page, 1690);
    EXPECT_EQ(data.front().flags, 0);  // a tail region never carries the header flags
    EXPECT_EQ(stream(data), image_.tailBuffer);
    EXPECT_EQ(sent.back().command, TFTP_END);
    EXPECT_EQ(sent.back().flags, 0);
    EXPECT_EQ(sink_.lines.front(), "> Getting auraNode model...\n");
    EXPECT_FALSE(contains(sink_.lines, "> File Transfered (End transferFile)\n"));
    EXPECT_EQ(radios_, (std::vector<bool>{true, false}));
}

TEST_F(CodeUpdateSenderTest, UnknownKindIsRefusedBeforeAnythingIsSent) {
    for (int kind : {0, 1, 3, 5, 7, 8, 11}) {
        FakeCodeUpdateDevice device(test::goodDevice(kModel));
        sink_.lines.clear();
        EXPECT_EQ(transfer(device, static_cast<std::uint8_t>(kind)), 0);
        EXPECT_TRUE(device.sent().empty());
        EXPECT_EQ(sink_.lines, Lines{"> Unkhown file type"});
    }
}

TEST_F(CodeUpdateSenderTest, RegionPastItsBufferIsRefusedBeforeAnythingIsSent) {
    raw(TYPE_LOGO, 100);
    image_.nMinHexAddress = kUpdateImageBufferSize - 100;
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    EXPECT_EQ(transfer(device, TYPE_LOGO), 0);
    EXPECT_TRUE(device.sent().empty());
}

TEST(CodeUpdateTransfer, OnlyTheFirstPacketOfAHeaderImageAsksForThePauseAgainOnResend) {
    UpdateImage image;
    image.imageLength = 8 + 3 * 256;
    CodeUpdateSettings settings{"pw", true, true, 1};
    CodeUpdateTransfer transfer(TYPE_MICROCODE, image, settings, false);
    CodeUpdateAction action = transfer.start();
    ASSERT_EQ(action.kind, CodeUpdateAction::Kind::Send);
    EXPECT_TRUE(action.pauseAfterSend);
    for (int wait = 0; wait < kCodeUpdateWaits; ++wait) {
        action = transfer.silent();
    }
    ASSERT_EQ(action.kind, CodeUpdateAction::Kind::Send);
    EXPECT_TRUE(action.pauseAfterSend) << "the resent first packet waits again";
    action = transfer.replied(reply(TFTP_ACK, 0, 0));
    ASSERT_EQ(action.kind, CodeUpdateAction::Kind::Send);
    EXPECT_FALSE(action.pauseAfterSend);
    EXPECT_EQ(action.packet[2], 1);
}

// ---- Model query ------------------------------------------------------------------------------

struct QueryCase {
    const char* name;
    std::uint8_t kind;
    // Replies to the query packets in order; past the list the device gives its model.
    std::vector<std::optional<Bytes>> answers;
    int result;
    std::string lastLine;
    std::size_t queries;  // model queries sent
};

void PrintTo(const QueryCase& c, std::ostream* out) {
    *out << c.name;
}

class ModelQuery : public CodeUpdateSenderTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(ModelQuery, AnswersAsTheDeviceSays) {
    microcode(1);
    const auto answers = GetParam().answers;
    std::size_t queries = 0;
    FakeCodeUpdateDevice device(deviceWith([&](const SentPacket& p, std::size_t) {
        if (p.command != TFTP_MODEL) {
            return std::optional<Replies>();
        }
        const std::size_t n = queries++;
        if (n < answers.size()) {
            return std::optional<Replies>(Replies{answers[n]});
        }
        return std::optional<Replies>();
    }));
    EXPECT_EQ(transfer(device, GetParam().kind), GetParam().result);
    EXPECT_EQ(queries, GetParam().queries);
    ASSERT_FALSE(sink_.lines.empty());
    EXPECT_EQ(sink_.lines.back(), GetParam().lastLine);
}

const std::string kTailDone = "> Sending Code Update pages 1690 to 1693\n";  // first tail packet
Bytes silence() {
    return {};  // an empty datagram counts as a silent wait
}

std::vector<std::optional<Bytes>> repeated(const Bytes& answer, std::size_t count) {
    return std::vector<std::optional<Bytes>>(count, answer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModelQuery,
    ::testing::Values(
        QueryCase{"ModelReply", KIND_MODEL_QUERY, {}, 1, "> Getting auraNode model...\n", 1},
        QueryCase{"WrongModelReply",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_MODEL, 3)},
                  0,
                  "> Error! Trying to update the microcode using incorrect auraNode model update "
                  "file\n",
                  1},
        QueryCase{"AckWithWrongModelRepeatsPastOneSeries", KIND_MODEL_QUERY,
                  repeated(reply(TFTP_ACK, 3), 20), 1, "> Getting auraNode model...\n", 21},
        QueryCase{"AckWithTheModel",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_ACK, kModel)},
                  1,
                  "> Getting auraNode model...\n",
                  1},
        QueryCase{"SilentDevice", KIND_MODEL_QUERY, repeated(silence(), 15), 0, "> recv timout\n",
                  15},
        QueryCase{"SilentThenAnswering", KIND_MODEL_QUERY, repeated(silence(), 14), 1,
                  "> Getting auraNode model...\n", 15},
        QueryCase{"WrongPassword",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_NACK, NACK_BAD_PASSWORD)},
                  0,
                  "> You entered the wrong Set Password\n",
                  1},
        QueryCase{"UnknownModel",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_NACK, NACK_UNKNOWN_MODEL)},
                  1,
                  "> Updating to an unknown auraNode model\n",
                  1},
        QueryCase{"VersionRefusedEndsAModelQueryAtOnce",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_NACK, 2)},
                  1,
                  "> Getting auraNode model...\n",
                  1},
        QueryCase{"VersionRefusedAsksTheTailAgain",
                  KIND_TAIL,
                  {reply(TFTP_NACK, 2)},
                  1,
                  "> Sending Code Update pages 1798 to 1801\n",
                  2},
        QueryCase{"RefusedTwiceInTheTail",
                  KIND_TAIL,
                  {reply(TFTP_NACK, 2), reply(TFTP_NACK, 3)},
                  0,
                  "> Received an NACK\n",
                  2},
        QueryCase{"UnknownReplyCode",
                  KIND_MODEL_QUERY,
                  {reply(9)},
                  0,
                  "> Received an unknown packet: 9\n",
                  1},
        QueryCase{"WrongLength",
                  KIND_MODEL_QUERY,
                  {reply(TFTP_MODEL, kModel, 0, 30)},
                  0,
                  "> Wrong receive length from Code Update wanted 23, got 30\n",
                  1},
        QueryCase{
            "ReceiveError", KIND_MODEL_QUERY, {std::nullopt}, 0, "> receiveCommand error!\n", 1}),
    caseName<QueryCase>);

TEST_F(CodeUpdateSenderTest, VersionFallbackHoldsForThePagesAndLaterCalls) {
    microcode(1);
    bool refused = false;
    FakeCodeUpdateDevice device(deviceWith([&](const SentPacket& p, std::size_t) {
        if (p.command == TFTP_MODEL && !refused) {
            refused = true;
            return std::optional<Replies>(Replies{reply(TFTP_NACK, 2)});
        }
        return std::optional<Replies>();
    }));
    ASSERT_EQ(transfer(device, KIND_TAIL), 1);
    ASSERT_EQ(transfer(device, TYPE_MICROCODE), 1);
    EXPECT_TRUE(fallback_);
    const auto sent = device.sent();
    EXPECT_EQ(sent[0].version, 0x0011);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].version, 0x0010) << i;
    }
}

TEST_F(CodeUpdateSenderTest, WithoutAKnownModelAnyModelIsTaken) {
    settings_.model.reset();
    FakeCodeUpdateDevice device(test::goodDevice(3));
    EXPECT_EQ(transfer(device, KIND_MODEL_QUERY), 1);
    EXPECT_EQ(radios_, std::vector<bool>{true}) << "the radios stay on after a model query";
}

// ---- Page phase -------------------------------------------------------------------------------

TEST_F(CodeUpdateSenderTest, StrayRepliesToPagesAreLoggedAndTheRightAckStillAccepted) {
    raw(TYPE_LOGO, 100);
    FakeCodeUpdateDevice device(deviceWith([](const SentPacket& p, std::size_t i) {
        if (i != 0) {
            return std::optional<Replies>();
        }
        return std::optional<Replies>(Replies{reply(TFTP_ACK, 0, 7), reply(TFTP_NACK, 2, 1385),
                                              reply(TFTP_ACK, 0, p.page, 30), reply(9),
                                              reply(TFTP_ACK, 0, p.page)});
    }));
    ASSERT_EQ(transfer(device, TYPE_LOGO), 1);
    EXPECT_EQ(device.sent().size(), 5u) << "nothing was sent again";
    const Lines expected = {
        "> Sending Code Update pages 1385 to 1388\n",
        "> Received ACK from wrong packet. Wanted packet 1385, got packet 7\n",
        "> Received a NACK from packet 1385\n",
        "> Wrong receive length from Code Update Packet 1385 wanted 23, got 30\n",
        "> Did not get the correct command expected TFTP_ACK(1), got 9\n",
        "> Sending Code Update pages 1389 to 1392\n"};
    EXPECT_EQ(Lines(sink_.lines.begin(), sink_.lines.begin() + 6), expected);
}

struct RefusalCase {
    const char* name;
    Bytes answer;
    Lines lines;  // the call's last lines
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class PageRefusal : public CodeUpdateSenderTest,
                    public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PageRefusal, EndsTheCall) {
    raw(TYPE_LOGO, 100);
    const Bytes answer = GetParam().answer;
    FakeCodeUpdateDevice device(deviceWith([&](const SentPacket& p, std::size_t) {
        if (p.command == TFTP_DATA) {
            return std::optional<Replies>(Replies{answer});
        }
        return std::optional<Replies>();
    }));
    EXPECT_EQ(transfer(device, TYPE_LOGO), 0);
    EXPECT_EQ(device.sent().size(), 1u);
    const Lines tail(sink_.lines.end() - static_cast<std::ptrdiff_t>(GetParam().lines.size()),
                     sink_.lines.end());
    EXPECT_EQ(tail, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, PageRefusal,
                         ::testing::Values(RefusalCase{"WrongPassword",
                                                       reply(TFTP_NACK, NACK_BAD_PASSWORD),
                                                       {"> You entered the wrong Set Password\n"}},
                                           RefusalCase{"BadCrc",
                                                       reply(TFTP_NACK, NACK_BAD_CRC),
                                                       {"> Received bad CRC, exiting\n"}},
                                           RefusalCase{"BadVersion",
                                                       reply(TFTP_NACK, NACK_BAD_VERSION),
                                                       {"> Received bad version, exiting\n",
                                                        "version is 11"}}),
                         caseName<RefusalCase>);

TEST_F(CodeUpdateSenderTest, UnansweredPagesAreSentAgainUntilTheDeviceCountsAsGone) {
    raw(TYPE_LOGO, 100);
    FakeCodeUpdateDevice device([](const SentPacket&, std::size_t) { return Replies{}; });
    EXPECT_EQ(transfer(device, TYPE_LOGO), 0);
    const auto sent = device.sent();
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(kCodeUpdateMaxSends));
    EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](auto& p) { return p.page == 1385; }));
    EXPECT_EQ(device.waits(), kCodeUpdateMaxSends * kCodeUpdateWaits);
    EXPECT_EQ(std::count(sink_.lines.begin(), sink_.lines.end(), "> recv timeout\n"),
              kCodeUpdateMaxSends);
    EXPECT_EQ(sink_.lines.back(), "> Error! No answer from the remote system\n");
}

TEST_F(CodeUpdateSenderTest, PageSentAgainAfterASilentRoundIsAcceptedThen) {
    raw(TYPE_LOGO, 100);
    FakeCodeUpdateDevice device(deviceWith([](const SentPacket& p, std::size_t i) {
        if (p.command == TFTP_DATA && i == 0) {
            return std::optional<Replies>(Replies{});  // the first packet gets lost
        }
        return std::optional<Replies>();
    }));
    ASSERT_EQ(transfer(device, TYPE_LOGO), 1);
    const auto sent = device.sent();
    EXPECT_EQ(sent[0].page, 1385);
    EXPECT_EQ(sent[1].page, 1385);
    EXPECT_EQ(sink_.lines[1], "> recv timeout\n");
    EXPECT_EQ(sink_.lines[2], "> Sending Code Update pages 1385 to 1388\n");
}

// ---- End, clear page and final end ------------------------------------------------------------

struct EndCase {
    const char* name;
    Bytes answer;
    int result;
    std::string lastLine;
};

void PrintTo(const EndCase& c, std::ostream* out) {
    *out << c.name;
}

class EndReply : public CodeUpdateSenderTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndReply, AcceptsAnythingButARefusal) {
    raw(TYPE_LOGO, 100);
    const Bytes answer = GetParam().answer;
    FakeCodeUpdateDevice device(deviceWith([&](const SentPacket& p, std::size_t) {
        if (p.command == TFTP_END) {
            return std::optional<Replies>(Replies{answer});
        }
        return std::optional<Replies>();
    }));
    EXPECT_EQ(transfer(device, TYPE_LOGO), GetParam().result);
    EXPECT_EQ(sink_.lines.back(), GetParam().lastLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndReply,
    ::testing::Values(
        EndCase{"Ack", reply(TFTP_ACK), 1, "> File Transfered (End transferFile)\n"},
        EndCase{"ModelReply", reply(TFTP_MODEL, 9), 1, "> File Transfered (End transferFile)\n"},
        EndCase{"BadCrc", reply(TFTP_NACK, NACK_BAD_CRC), 0, "> Received bad CRC, exiting\n"},
        EndCase{"OtherNack", reply(TFTP_NACK, 2, 5), 0, "> Received a NACK from packet 5\n"},
        EndCase{"WrongLength", reply(TFTP_ACK, 0, 0, 30), 0,
                "> Wrong receive length from Code Update Packet 0 wanted 23, got 30\n"}),
    caseName<EndCase>);

TEST_F(CodeUpdateSenderTest, SilentEndAndFinalEndAreSentAgainWithTheirOwnLines) {
    microcode(1);
    int ends = 0;
    FakeCodeUpdateDevice device(deviceWith([&](const SentPacket& p, std::size_t) {
        // The first of each end packet is lost.
        if (p.command == TFTP_END && ends++ % 2 == 0) {
            return std::optional<Replies>(Replies{});
        }
        return std::optional<Replies>();
    }));
    ASSERT_EQ(transfer(device, TYPE_MICROCODE), 1);
    EXPECT_TRUE(contains(sink_.lines, "> recv timeout..**\n"));
    EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], "> recv timeout\n");
    EXPECT_EQ(test::ofCommand(device.sent(), TFTP_END).size(), 4u);
}

TEST_F(CodeUpdateSenderTest, ClearPageWaitsThroughOtherRepliesButNotAWrongLength) {
    microcode(1);
    FakeCodeUpdateDevice device(deviceWith([](const SentPacket& p, std::size_t) {
        if (p.command == TFTP_DATA && p.page == kClearPage) {
            return std::optional<Replies>(
                Replies{reply(TFTP_NACK, 2), reply(TFTP_MODEL, 1), reply(TFTP_ACK, 0, 0, 30)});
        }
        return std::optional<Replies>();
    }));
    EXPECT_EQ(transfer(device, TYPE_MICROCODE), 0);
    EXPECT_EQ(sink_.lines.back(),
              "> Wrong receive length from Code Update Packet 1829 wanted 23, got 30\n");
}

// ---- Failures of the transport and stop requests ------------------------------------------------

TEST_F(CodeUpdateSenderTest, FailedSendsEndTheCallWithTheLineOfTheirPhase) {
    raw(TYPE_LOGO, 100);
    FakeCodeUpdateDevice query(test::goodDevice(kModel));
    query.failSendsFrom(0);
    EXPECT_EQ(transfer(query, KIND_MODEL_QUERY), 0);
    EXPECT_EQ(sink_.lines.back(), "> transferFile sendto error\n");

    sink_.lines.clear();
    FakeCodeUpdateDevice pages(test::goodDevice(kModel));
    pages.failSendsFrom(1);
    EXPECT_EQ(transfer(pages, TYPE_LOGO), 0);
    EXPECT_EQ(sink_.lines.back(), "> Sending Code Update pages 1389 to 1392\n")
        << "no line of its own";

    sink_.lines.clear();
    microcode(1);
    FakeCodeUpdateDevice clear(test::goodDevice(kModel));
    clear.failSendsFrom(2);  // page packet, end packet, then the clear page
    EXPECT_EQ(transfer(clear, TYPE_MICROCODE), 0);
    EXPECT_EQ(sink_.lines.back(), "> clearing old idata: sendto error\n");
}

TEST_F(CodeUpdateSenderTest, StopRequestEndsTheCallAtTheNextWaitWithoutALine) {
    raw(TYPE_LOGO, 100);
    // A device that keeps answering with the wrong model never lets a series end by itself.
    FakeCodeUpdateDevice device(
        [](const SentPacket&, std::size_t) { return Replies{reply(TFTP_ACK, 9)}; });
    device.onWait([&](int wait) {
        if (wait == 40) {
            stop_.request();
        }
    });
    EXPECT_EQ(transfer(device, KIND_MODEL_QUERY), 0);
    EXPECT_EQ(device.waits(), 40);
    EXPECT_EQ(sink_.lines, Lines{"> Getting auraNode model...\n"});
}

TEST_F(CodeUpdateSenderTest, StopRequestedBeforeTheCallSendsNothing) {
    raw(TYPE_LOGO, 100);
    stop_.request();
    FakeCodeUpdateDevice device(test::goodDevice(kModel));
    EXPECT_EQ(transfer(device, TYPE_LOGO), 0);
    EXPECT_TRUE(device.sent().empty());
}

}  // namespace
}  // namespace vantor
