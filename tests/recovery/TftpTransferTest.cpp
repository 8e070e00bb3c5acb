#include "recovery/TftpTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "recovery/BootImages.h"
#include "recovery/MemorySource.h"
#include "recovery/TftpPacket.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = TftpTransfer::Clock;

const Endpoint kClient{Ipv4::fromOctets(192, 168, 0, 100), 3001};
constexpr Millis kTimeout{60000};
constexpr Millis kDuplicateResend{1000};

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> content(size);
    for (std::size_t i = 0; i < size; ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    return content;
}

std::vector<std::uint8_t> ack(std::uint16_t block) {
    return TftpPacket::BuildAck(block);
}

// The one DATA packet a step sends to the client.
TftpData dataOf(const TftpStep& step) {
    EXPECT_EQ(step.send.size(), 1u);
    EXPECT_TRUE(step.send.at(0).essential);
    EXPECT_EQ(step.send.at(0).to, kClient);
    const auto data = TftpPacket::ParseData(step.send.at(0).bytes);
    EXPECT_TRUE(data.has_value());
    return data.value_or(TftpData{});
}

class TftpTransferTest : public ::testing::Test {
  protected:
    void load(std::vector<std::uint8_t> content) {
        content_ = std::move(content);
        source_ = std::make_unique<MemorySource>(content_);
        transfer_ = std::make_unique<TftpTransfer>(*source_, kClient, kTimeout, kDuplicateResend);
    }

    // Acknowledges every block at once and returns the payload sizes in order, checking that
    // the blocks are numbered 1, 2, 3, ...
    std::vector<std::size_t> runToEnd(std::vector<std::uint8_t>* received = nullptr) {
        std::vector<std::size_t> sizes;
        TftpStep step = transfer_->Start(now_);
        while (step.state == TftpTransferState::waiting && sizes.size() < 100000) {
            const TftpData data = dataOf(step);
            sizes.push_back(data.payload.size());
            EXPECT_EQ(data.block, static_cast<std::uint16_t>(sizes.size()));
            if (received != nullptr) {
                received->insert(received->end(), data.payload.begin(), data.payload.end());
            }
            step = transfer_->OnDatagram(ack(data.block), kClient, now_);
        }
        EXPECT_EQ(step.state, TftpTransferState::completed);
        return sizes;
    }

    std::vector<std::uint8_t> content_;
    std::unique_ptr<MemorySource> source_;
    std::unique_ptr<TftpTransfer> transfer_;
    Clock::time_point now_ = Clock::time_point{} + 1h;
};

struct SizeCase {
    std::size_t fileSize;
    std::vector<std::size_t> blocks;
};

class TftpBlockSizes : public TftpTransferTest, public ::testing::WithParamInterface<SizeCase> {};

// A block shorter than 512 bytes ends the transfer, so a file of whole blocks ends with an
// empty one.
TEST_P(TftpBlockSizes, TheFileGoesIn512ByteBlocksAndAShortLastOne) {
    load(pattern(GetParam().fileSize));
    std::vector<std::uint8_t> received;
    EXPECT_EQ(runToEnd(&received), GetParam().blocks);
    EXPECT_EQ(received, content_);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TftpBlockSizes,
                         ::testing::Values(SizeCase{0, {0}}, SizeCase{511, {511}},
                                           SizeCase{512, {512, 0}}, SizeCase{1000, {512, 488}},
                                           SizeCase{1024, {512, 512, 0}}));

TEST_F(TftpTransferTest, TheEmbeddedKernelGoesIn1473BlocksByteForByte) {
    const auto image = BootImages::Find("kernel.img");
    ASSERT_TRUE(image);
    load({image->begin(), image->end()});
    std::vector<std::uint8_t> received;
    const auto sizes = runToEnd(&received);
    EXPECT_EQ(received, content_);
    if (BootImages::ArePlaceholders()) {
        ASSERT_EQ(sizes.size(), 1473u);
        EXPECT_EQ(sizes.back(), 352u);
    }
}

TEST_F(TftpTransferTest, ABlockIsResentOnceAfterAnInterruptedWaitThenTheTransferFails) {
    load(pattern(2000));
    const TftpStep first = transfer_->Start(now_);
    EXPECT_EQ(transfer_->Remaining(now_), kTimeout);
    now_ += kTimeout;
    EXPECT_EQ(transfer_->Remaining(now_), Millis{0});
    const TftpStep again = transfer_->OnInterrupted(now_);
    EXPECT_EQ(again.state, TftpTransferState::waiting);
    EXPECT_TRUE(again.resent);
    EXPECT_EQ(again.send.at(0).bytes, first.send.at(0).bytes);
    EXPECT_EQ(transfer_->Remaining(now_), kTimeout);  // a fresh wait for the resent block
    now_ += kTimeout;
    const TftpStep failed = transfer_->OnInterrupted(now_);
    EXPECT_EQ(failed.state, TftpTransferState::noResponse);
    EXPECT_TRUE(failed.send.empty());
    // Over: nothing more is sent whatever arrives.
    EXPECT_TRUE(transfer_->OnDatagram(ack(1), kClient, now_).send.empty());
}

TEST_F(TftpTransferTest, AnAckAfterAResendLetsTheNextBlockBeResentOnceMore) {
    load(pattern(2000));
    transfer_->Start(now_);
    transfer_->OnInterrupted(now_);
    EXPECT_TRUE(transfer_->resending());
    EXPECT_EQ(dataOf(transfer_->OnDatagram(ack(1), kClient, now_)).block, 2);
    EXPECT_FALSE(transfer_->resending());
    EXPECT_EQ(transfer_->OnInterrupted(now_).state, TftpTransferState::waiting);
}

struct NonProgressCase {
    const char* what;
    std::vector<std::uint8_t> datagram;
};

class TftpNonProgress : public TftpTransferTest,
                        public ::testing::WithParamInterface<NonProgressCase> {};

// Block 2 is out. Neither a duplicate ACK of block 1, nor an ACK of a block not yet sent, nor
// other junk of the client is progress; none sends anything at once (Sorcerer's Apprentice),
// but once block 2 has gone unanswered for a second the next one resends it, once a second.
TEST_P(TftpNonProgress, IsNoProgressAndResendsOnlyABlockUnansweredForASecond) {
    load(pattern(2000));
    transfer_->Start(now_);
    ASSERT_EQ(dataOf(transfer_->OnDatagram(ack(1), kClient, now_)).block, 2);
    const auto& datagram = GetParam().datagram;
    EXPECT_TRUE(transfer_->OnDatagram(datagram, kClient, now_).send.empty());
    now_ += kDuplicateResend - 1ms;
    EXPECT_TRUE(transfer_->OnDatagram(datagram, kClient, now_).send.empty());
    EXPECT_EQ(transfer_->Remaining(now_), kTimeout - kDuplicateResend + 1ms);
    now_ += 1ms;
    const TftpStep resent = transfer_->OnDatagram(datagram, kClient, now_);
    EXPECT_TRUE(resent.resent);
    EXPECT_EQ(dataOf(resent).block, 2);
    EXPECT_EQ(transfer_->Remaining(now_), kTimeout);
    // The resend starts the second over.
    now_ += kDuplicateResend - 1ms;
    EXPECT_TRUE(transfer_->OnDatagram(datagram, kClient, now_).send.empty());
    EXPECT_EQ(transfer_->block(), 2);
    EXPECT_EQ(transfer_->state(), TftpTransferState::waiting);
    // The ACK of block 2 still counts.
    EXPECT_EQ(dataOf(transfer_->OnDatagram(ack(2), kClient, now_)).block, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, TftpNonProgress,
    ::testing::Values(NonProgressCase{"duplicate", ack(1)}, NonProgressCase{"older", ack(0)},
                      NonProgressCase{"unsent", ack(3)}, NonProgressCase{"far", ack(65535)},
                      NonProgressCase{"junk", {0, 9}}, NonProgressCase{"short ack", {0, 4, 0}}),
    [](const auto& testCase) {
        std::string name = testCase.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// A client that duplicates every ACK (its own retry crossing our DATA packet) gets each block
// exactly once.
TEST_F(TftpTransferTest, ADuplicatedAckSendsNoExtraDataPacket) {
    load(pattern(100 * 512 + 10));
    int dataPackets = 0;
    TftpStep step = transfer_->Start(now_);
    while (step.state == TftpTransferState::waiting && dataPackets < 1000) {
        dataPackets += static_cast<int>(step.send.size());
        const std::uint16_t block = dataOf(step).block;
        now_ += 1ms;
        step = transfer_->OnDatagram(ack(block), kClient, now_);
        // The duplicate arrives after the next block went out.
        const TftpStep duplicate = transfer_->OnDatagram(ack(block), kClient, now_);
        EXPECT_TRUE(duplicate.send.empty()) << block;
    }
    EXPECT_EQ(step.state, TftpTransferState::completed);
    EXPECT_EQ(dataPackets, 101);
}

TEST_F(TftpTransferTest, AnErrorOfTheClientEndsTheTransferUnanswered) {
    load(pattern(2000));
    transfer_->Start(now_);
    const TftpStep step = transfer_->OnDatagram(TftpPacket::BuildError(0, "cancelled"), kClient,
                                                now_ + kDuplicateResend);
    EXPECT_EQ(step.state, TftpTransferState::clientError);
    EXPECT_TRUE(step.send.empty());
    EXPECT_TRUE(transfer_->OnInterrupted(now_).send.empty());
    EXPECT_EQ(transfer_->state(), TftpTransferState::clientError);
}

// Full blocks without end, counted rather than stored.
class EndlessSource final : public BlockSource {
  public:
    explicit EndlessSource(std::size_t blocks) : left_(blocks) {}
    std::optional<std::size_t> read(std::span<std::uint8_t> out) override {
        if (left_ == 0) {
            return 0;
        }
        --left_;
        return out.size();
    }

  private:
    std::size_t left_;
};

// 65537 full blocks: 1 .. 65535, then 0 and 1 again, then the empty last block 2. At block 0,
// the stale ACK of 65535 (numerically greater) is no progress.
TEST_F(TftpTransferTest, BlockNumbersRollOverToZeroAfter65535) {
    EndlessSource source(65537);
    TftpTransfer transfer(source, kClient, kTimeout, kDuplicateResend);
    TftpStep step = transfer.Start(now_);
    std::uint16_t previous = 0;
    std::size_t sent = 0;
    std::vector<std::uint16_t> around;
    while (step.state == TftpTransferState::waiting && sent < 70000) {
        ++sent;
        const TftpData data = dataOf(step);
        if (sent >= 65534) {
            around.push_back(data.block);
        }
        if (data.block == 0) {
            EXPECT_TRUE(transfer.OnDatagram(ack(65535), kClient, now_).send.empty());
            EXPECT_EQ(transfer.block(), 0);
        }
        EXPECT_EQ(data.block, static_cast<std::uint16_t>(previous + 1));
        previous = data.block;
        step = transfer.OnDatagram(ack(data.block), kClient, now_);
    }
    EXPECT_EQ(step.state, TftpTransferState::completed);
    EXPECT_EQ(sent, 65538u);
    EXPECT_EQ(around, (std::vector<std::uint16_t>{65534, 65535, 0, 1, 2}));
}

TEST_F(TftpTransferTest, ADatagramFromAnotherTransferIdGetsError5AndChangesNothing) {
    load(pattern(2000));
    transfer_->Start(now_);
    const Endpoint otherPort{kClient.address, 3002};
    const Endpoint otherHost{Ipv4::fromOctets(192, 168, 0, 50), kClient.port};
    now_ += 10s;
    for (const Endpoint& stray : {otherPort, otherHost}) {
        const TftpStep step = transfer_->OnDatagram(ack(1), stray, now_);
        EXPECT_EQ(step.state, TftpTransferState::waiting);
        ASSERT_EQ(step.send.size(), 1u);
        EXPECT_EQ(step.send[0].to, stray);
        EXPECT_FALSE(step.send[0].essential);
        const auto error = TftpPacket::ParseError(step.send[0].bytes);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, 5);
        EXPECT_EQ(error->message, "Unknown transfer ID");
    }
    // Neither a resend nor a progress, and the deadline stays where it was.
    EXPECT_FALSE(transfer_->resending());
    EXPECT_EQ(transfer_->block(), 1);
    EXPECT_EQ(transfer_->Remaining(now_), kTimeout - 10s);
    // The client still owns the transfer.
    EXPECT_EQ(dataOf(transfer_->OnDatagram(ack(1), kClient, now_)).block, 2);
}

TEST_F(TftpTransferTest, StrayDatagramsCannotHoldOffTheTimeOut) {
    load(pattern(2000));
    transfer_->Start(now_);
    const Endpoint stray{kClient.address, 4000};
    now_ += kTimeout;
    const TftpStep step = transfer_->OnDatagram(ack(1), stray, now_);
    ASSERT_EQ(step.send.size(), 2u);
    EXPECT_EQ(step.send[0].to, stray);
    EXPECT_TRUE(step.resent);
    EXPECT_EQ(step.send[1].to, kClient);
    now_ += kTimeout;
    EXPECT_EQ(transfer_->OnDatagram(ack(1), stray, now_).state, TftpTransferState::noResponse);
}

TEST_F(TftpTransferTest, AnErrorPacketFromAStrangerIsNotAnswered) {
    load(pattern(10));
    transfer_->Start(now_);
    const auto error = TftpPacket::BuildError(0, "x");
    EXPECT_TRUE(transfer_->OnDatagram(error, Endpoint{kClient.address, 1}, now_).send.empty());
}

TEST_F(TftpTransferTest, SocketAndSendFailuresEndTheTransfer) {
    load(pattern(2000));
    transfer_->Start(now_);
    EXPECT_EQ(transfer_->OnSocketError().state, TftpTransferState::socketError);
    load(pattern(2000));
    transfer_->Start(now_);
    EXPECT_EQ(transfer_->OnSendFailed().state, TftpTransferState::sendFailed);
    EXPECT_EQ(transfer_->OnInterrupted(now_).state, TftpTransferState::sendFailed);
}

// A source whose second read fails.
class FailingSource final : public BlockSource {
  public:
    std::optional<std::size_t> read(std::span<std::uint8_t> out) override {
        if (reads_++ > 0) {
            return std::nullopt;
        }
        return out.size();
    }

  private:
    int reads_ = 0;
};

TEST_F(TftpTransferTest, AReadErrorFailsTheTransferInsteadOfSendingACutFile) {
    FailingSource source;
    TftpTransfer transfer(source, kClient, kTimeout, kDuplicateResend);
    EXPECT_EQ(dataOf(transfer.Start(now_)).payload.size(), 512u);
    const TftpStep step = transfer.OnDatagram(ack(1), kClient, now_);
    EXPECT_EQ(step.state, TftpTransferState::readFailed);
    ASSERT_EQ(step.send.size(), 1u);
    EXPECT_EQ(step.send[0].to, kClient);
    EXPECT_EQ(TftpPacket::ParseError(step.send[0].bytes)->code, 0);
}

// ---- Options -----------------------------------------------------------------------------------

TftpTerms terms(std::size_t blockSize, std::uint32_t window,
                std::vector<TftpOption> acknowledged = {{"blksize", "x"}}) {
    TftpTerms made;
    made.blockSize = blockSize;
    made.windowSize = window;
    made.acknowledged = std::move(acknowledged);
    return made;
}

// The DATA blocks a step sends, in order.
std::vector<std::uint16_t> blocksOf(const TftpStep& step) {
    std::vector<std::uint16_t> blocks;
    for (const TftpOutgoing& out : step.send) {
        EXPECT_TRUE(out.essential);
        const auto data = TftpPacket::ParseData(out.bytes);
        EXPECT_TRUE(data.has_value());
        blocks.push_back(data ? data->block : 0xDEAD);
    }
    return blocks;
}

struct OptionSizeCase {
    std::size_t blockSize;
    std::size_t fileSize;
    std::size_t blocks;
};

class TftpOptionBlockSizes : public TftpTransferTest,
                             public ::testing::WithParamInterface<OptionSizeCase> {};

// The OACK goes first and is acknowledged as block 0; then the blocks have the agreed size,
// and a file of whole blocks still ends with an empty one.
TEST_P(TftpOptionBlockSizes, TheOackIsBlock0ThenBlocksHaveTheAgreedSize) {
    content_ = pattern(GetParam().fileSize);
    MemorySource source(content_);
    TftpTransfer transfer(source, kClient, kTimeout, kDuplicateResend,
                          terms(GetParam().blockSize, 1, {{"blksize", "8"}}));
    const TftpStep oack = transfer.Start(now_);
    ASSERT_EQ(oack.send.size(), 1u);
    EXPECT_EQ(TftpPacket::ParseOack(oack.send[0].bytes),
              (std::vector<TftpOption>{{"blksize", "8"}}));
    EXPECT_EQ(transfer.block(), 0);
    // Nothing but ACK 0 moves it on; ACK 1 acknowledges a block not yet sent.
    EXPECT_TRUE(transfer.OnDatagram(ack(1), kClient, now_).send.empty());
    TftpStep step = transfer.OnDatagram(ack(0), kClient, now_);
    std::vector<std::uint8_t> received;
    std::size_t blocks = 0;
    while (step.state == TftpTransferState::waiting && blocks < 100000) {
        const TftpData data = dataOf(step);
        ++blocks;
        EXPECT_EQ(data.block, static_cast<std::uint16_t>(blocks));
        EXPECT_LE(data.payload.size(), GetParam().blockSize);
        received.insert(received.end(), data.payload.begin(), data.payload.end());
        step = transfer.OnDatagram(ack(data.block), kClient, now_);
    }
    EXPECT_EQ(step.state, TftpTransferState::completed);
    EXPECT_EQ(blocks, GetParam().blocks);
    EXPECT_EQ(received, content_);
    EXPECT_EQ(transfer.acknowledgedBytes(), content_.size());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TftpOptionBlockSizes,
    ::testing::Values(OptionSizeCase{8, 0, 1}, OptionSizeCase{8, 17, 3}, OptionSizeCase{8, 16, 3},
                      OptionSizeCase{1468, 1468 * 3, 4}, OptionSizeCase{1468, 1468 * 3 - 1, 3},
                      OptionSizeCase{65464, 65464, 2}, OptionSizeCase{65464, 200000, 4}));

TEST_F(TftpTransferTest, Error8AnswersOnlyTheOackAsARefusalOfTheOptions) {
    load(pattern(2000));
    TftpTransfer refused(*source_, kClient, kTimeout, kDuplicateResend, terms(1024, 1));
    refused.Start(now_);
    const TftpStep step = refused.OnDatagram(TftpPacket::BuildError(8, "no"), kClient, now_);
    EXPECT_EQ(step.state, TftpTransferState::optionsRefused);
    EXPECT_TRUE(step.send.empty());
    EXPECT_TRUE(refused.OnInterrupted(now_).send.empty());

    // Once the OACK is acknowledged an ERROR 8 is an ERROR like any other.
    load(pattern(2000));
    TftpTransfer later(*source_, kClient, kTimeout, kDuplicateResend, terms(1024, 1));
    later.Start(now_);
    later.OnDatagram(ack(0), kClient, now_);
    EXPECT_EQ(later.OnDatagram(TftpPacket::BuildError(8, "no"), kClient, now_).state,
              TftpTransferState::clientError);
}

TEST_F(TftpTransferTest, AnUnansweredOackGoesOutOnceMoreThenTheTransferFails) {
    load(pattern(2000));
    TftpTerms agreed = terms(1024, 1, {{"timeout", "3"}});
    agreed.timeout = std::chrono::seconds(3);
    TftpTransfer transfer(*source_, kClient, kTimeout, kDuplicateResend, agreed);
    const TftpStep oack = transfer.Start(now_);
    // The client's timeout replaces the server's own.
    EXPECT_EQ(transfer.Remaining(now_), 3s);
    const TftpStep again = transfer.OnInterrupted(now_ + 3s);
    EXPECT_TRUE(again.resent);
    ASSERT_EQ(again.send.size(), 1u);
    EXPECT_EQ(again.send[0].bytes, oack.send[0].bytes);
    EXPECT_EQ(transfer.OnInterrupted(now_ + 6s).state, TftpTransferState::noResponse);
}

// RFC 7440: a window of four blocks; the client lost block 7, acknowledges 6, and the window
// goes on from 7. The client's repeat of that ACK sends the window again at once, once.
TEST_F(TftpTransferTest, AWindowGoesOnFromTheBlockAfterTheOneAcknowledged) {
    load(pattern(512 * 11 + 100));  // blocks 1 .. 12, the last one short
    TftpTransfer transfer(*source_, kClient, kTimeout, kDuplicateResend, terms(512, 4));
    transfer.Start(now_);
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(0), kClient, now_)),
              (std::vector<std::uint16_t>{1, 2, 3, 4}));
    // An ACK of the window's last block before the window was sent acknowledges nothing.
    EXPECT_TRUE(transfer.OnDatagram(ack(5), kClient, now_).send.empty());
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(4), kClient, now_)),
              (std::vector<std::uint16_t>{5, 6, 7, 8}));
    const TftpStep resumed = transfer.OnDatagram(ack(6), kClient, now_);
    EXPECT_EQ(blocksOf(resumed), (std::vector<std::uint16_t>{7, 8, 9, 10}));
    EXPECT_TRUE(resumed.resent);
    EXPECT_EQ(transfer.acknowledgedBytes(), 6u * 512);
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(6), kClient, now_)),
              (std::vector<std::uint16_t>{7, 8, 9, 10}));
    EXPECT_TRUE(transfer.OnDatagram(ack(6), kClient, now_).send.empty());
    // A wait without an ACK sends the whole window again.
    EXPECT_EQ(blocksOf(transfer.OnInterrupted(now_ + 1ms)),
              (std::vector<std::uint16_t>{7, 8, 9, 10}));
    // An ACK inside blocks that went out again moves on without a third copy of the rest.
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(8), kClient, now_)),
              (std::vector<std::uint16_t>{11, 12}));
    EXPECT_EQ(transfer.OnDatagram(ack(12), kClient, now_).state, TftpTransferState::completed);
}

// A window of four from block 5 with the client losing block 6 and, after the window went out
// again, block 8 of the resent ones: each loss costs one resend, not a time-out.
TEST_F(TftpTransferTest, EachLossInAWindowIsResentOnce) {
    load(pattern(512 * 11 + 100));
    TftpTransfer transfer(*source_, kClient, kTimeout, kDuplicateResend, terms(512, 4));
    transfer.Start(now_);
    transfer.OnDatagram(ack(0), kClient, now_);
    transfer.OnDatagram(ack(4), kClient, now_);
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(5), kClient, now_)),
              (std::vector<std::uint16_t>{6, 7, 8, 9}));
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(7), kClient, now_)),
              (std::vector<std::uint16_t>{10, 11}));
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(7), kClient, now_)),
              (std::vector<std::uint16_t>{8, 9, 10, 11}));
}

// The last window holds only what is left; its short block ends the transfer.
TEST_F(TftpTransferTest, TheLastWindowHoldsWhatIsLeft) {
    load(pattern(512 * 11 + 100));
    TftpTransfer transfer(*source_, kClient, kTimeout, kDuplicateResend, terms(512, 4));
    transfer.Start(now_);
    transfer.OnDatagram(ack(0), kClient, now_);
    transfer.OnDatagram(ack(4), kClient, now_);
    EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(8), kClient, now_)),
              (std::vector<std::uint16_t>{9, 10, 11, 12}));
    EXPECT_EQ(transfer.OnDatagram(ack(11), kClient, now_).send.size(), 1u);
    EXPECT_EQ(transfer.OnDatagram(ack(12), kClient, now_).state, TftpTransferState::completed);
    EXPECT_EQ(transfer.acknowledgedBytes(), content_.size());
}

// Windows across the roll-over of block numbers: 65537 full blocks and the empty last one, in
// windows of 64, each acknowledged at its last block.
TEST_F(TftpTransferTest, WindowsRollOverToBlock0) {
    EndlessSource source(65537);
    TftpTransfer transfer(source, kClient, kTimeout, kDuplicateResend, terms(512, 64));
    transfer.Start(now_);
    TftpStep step = transfer.OnDatagram(ack(0), kClient, now_);
    std::size_t sent = 0;
    std::uint16_t expected = 1;
    while (step.state == TftpTransferState::waiting && sent < 70000) {
        const std::vector<std::uint16_t> blocks = blocksOf(step);
        ASSERT_FALSE(blocks.empty());
        for (const std::uint16_t block : blocks) {
            ASSERT_EQ(block, expected);
            ++expected;
        }
        sent += blocks.size();
        // The ACK of the block before the window (numerically greater after the roll-over)
        // is no progress: the client lost the window's first block, which goes out again.
        EXPECT_EQ(blocksOf(transfer.OnDatagram(ack(static_cast<std::uint16_t>(blocks.front() - 1)),
                                               kClient, now_))
                      .front(),
                  blocks.front());
        step = transfer.OnDatagram(ack(blocks.back()), kClient, now_);
    }
    EXPECT_EQ(step.state, TftpTransferState::completed);
    EXPECT_EQ(sent, 65538u);
}

}  // namespace
}  // namespace vantor
