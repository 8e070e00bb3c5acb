#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "upgrade/CodeUpdatePacket.h"
#include "upgrade/UpdateImage.h"

namespace vantor {

// What one transfer needs from the upgrade driver besides the image.
struct CodeUpdateSettings {
    std::string setPassword;
    bool onePagePerPacket = false;
    // The image came from a member with the update file header.
    bool hasHeader = true;
    // The model the device must report; none when no update file header was read in this run,
    // and then any model is taken.
    std::optional<std::uint8_t> model;
};

enum class ModeRadios { Enable, Disable };
// A status line, or a change of the console's mode radios.
using CodeUpdateEffect = std::variant<std::string, ModeRadios>;

// What the sender does next: carry out the effects in order, then send the packet and wait for
// a reply, wait again without sending, or end the call.
struct CodeUpdateAction {
    enum class Kind { Send, Wait, Finish };
    Kind kind = Kind::Finish;
    std::vector<CodeUpdateEffect> effects;
    std::vector<std::uint8_t> packet;  // Send
    bool pauseAfterSend = false;       // Send: the device needs time before it answers
    bool succeeded = false;            // Finish
};

// One call of the code update protocol (one region, or a model query) as a state machine: it
// decides what to send, whether to wait again or resend, and when the call is over, from the
// events the sender reports. It owns no socket and no clock; a silent wait is an event.
//
// Kinds: TYPE_MICROCODE, TYPE_LOGO and TYPE_BIN send a region from imageBuffer; KIND_TAIL asks
// the device for its model and then sends the tail region from tailBuffer; KIND_MODEL_QUERY
// only asks for the model.
class CodeUpdateTransfer {
  public:
    // image and settings must outlive the transfer. versionFallback: the device refused
    // protocol version 0x0011 earlier in this run.
    CodeUpdateTransfer(std::uint8_t kind, const UpdateImage& image,
                       const CodeUpdateSettings& settings, bool versionFallback);

    CodeUpdateAction start();
    // After a Send or Wait action: the packet could not be sent.
    CodeUpdateAction sendFailed();
    // A wait ended with a datagram of at least one byte.
    CodeUpdateAction replied(std::span<const std::uint8_t> datagram);
    // A wait ended without a datagram (or with an empty one).
    CodeUpdateAction silent();
    // The wait or the receive failed.
    CodeUpdateAction receiveFailed();

    bool versionFallback() const { return versionFallback_; }
    std::uint8_t kind() const { return kind_; }

    // How far the region has come: the bytes of its pages the device has acknowledged, and
    // the bytes it holds. None before the region's first page (and for a model query).
    struct RegionProgress {
        std::uint64_t done = 0;
        std::uint64_t total = 0;
        bool operator==(const RegionProgress&) const = default;
    };
    std::optional<RegionProgress> regionProgress() const;

  private:
    enum class Phase { Query, Pages, End, Clear, FinalEnd, Done };

    CodeUpdateAction take(CodeUpdateAction action);
    CodeUpdateAction finish(bool succeeded);
    CodeUpdateAction fail(std::string line);
    CodeUpdateAction waitAgain();
    CodeUpdateAction sendCurrent(bool pause);
    void note(std::string line);

    bool modelMatches(std::uint8_t model) const;
    CodeUpdateAction querySeries();
    CodeUpdateAction queryAttempt();
    CodeUpdateAction nextQueryAttempt();
    CodeUpdateAction queryAccepted();
    CodeUpdateAction queryReply(const CodeUpdateReply& reply);

    RegionProgress regionTotal() const;
    CodeUpdateAction beginRegion();
    CodeUpdateAction sendPages();
    CodeUpdateAction pagesAccepted();
    CodeUpdateAction pagesReply(const CodeUpdateReply& reply);
    CodeUpdateAction afterPageWait();

    CodeUpdateAction beginEnd();
    CodeUpdateAction endReply(const CodeUpdateReply& reply);
    CodeUpdateAction afterEndWait();
    CodeUpdateAction beginClear();
    CodeUpdateAction afterClearWait();
    CodeUpdateAction beginFinalEnd();
    CodeUpdateAction resendOrGiveUp();
    CodeUpdateAction complete();

    const std::uint8_t kind_;
    const UpdateImage& image_;
    const CodeUpdateSettings& settings_;
    bool versionFallback_;
    CodeUpdateHeader header_;
    Phase phase_ = Phase::Query;
    std::vector<CodeUpdateEffect> effects_;  // gathered for the next action

    // The packet in flight, its sends and the waits since it was last sent.
    std::vector<std::uint8_t> packet_;
    bool pausePacket_ = false;
    int sends_ = 0;
    int waits_ = 0;
    bool lastWaitSilent_ = false;
    int queryAttempts_ = 0;

    // The region.
    std::span<const std::uint8_t> source_;
    std::uint16_t firstPage_ = 0;
    std::uint16_t endPage_ = 0;
    bool headerRegion_ = false;  // sent with flags 0x81 and the extra bytes first
    bool regionBegun_ = false;
    std::uint16_t page_ = 0;
    std::size_t offset_ = 0;
    std::uint8_t count_ = 0;
    std::size_t extra_ = 0;
    std::uint8_t flags_ = kFlagsNone;
    int accepted_ = 0;
    std::uint8_t endFlags_ = kFlagsNone;
    std::uint16_t checkValue_ = 0;
};

}  // namespace vantor
