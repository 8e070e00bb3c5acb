#include "upgrade/CodeUpdateTransfer.h"

#include <algorithm>
#include <cstdio>

#include "upgrade/ComputeCrc.h"

namespace vantor {

namespace {

constexpr std::string_view kWrongPassword = "> You entered the wrong Set Password\n";
constexpr std::string_view kReceiveError = "> receiveCommand error!\n";
constexpr std::string_view kBadCrc = "> Received bad CRC, exiting\n";
constexpr std::string_view kRecvTimeout = "> recv timeout\n";

std::string num(long long value) {
    return std::to_string(value);
}

std::string wrongLengthLine(std::uint16_t page, std::size_t length) {
    return "> Wrong receive length from Code Update Packet " + num(page) + " wanted " +
           num(kCodeUpdateReplySize) + ", got " + num(static_cast<long long>(length)) + "\n";
}

std::string nackLine(std::uint16_t page) {
    return "> Received a NACK from packet " + num(page) + "\n";
}

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

bool knownKind(std::uint8_t kind) {
    return kind == TYPE_MICROCODE || kind == TYPE_LOGO || kind == TYPE_BIN || kind == KIND_TAIL ||
           kind == KIND_MODEL_QUERY;
}

std::size_t pageBytes(std::size_t pages) {
    return pages * kCodeUpdatePageSize;
}

}  // namespace

CodeUpdateTransfer::CodeUpdateTransfer(std::uint8_t kind, const UpdateImage& image,
                                       const CodeUpdateSettings& settings, bool versionFallback)
    : kind_(kind), image_(image), settings_(settings), versionFallback_(versionFallback) {}

// ---- Plumbing -------------------------------------------------------------------------------

void CodeUpdateTransfer::note(std::string line) {
    effects_.emplace_back(std::move(line));
}

CodeUpdateAction CodeUpdateTransfer::take(CodeUpdateAction action) {
    action.effects = std::move(effects_);
    effects_.clear();
    return action;
}

CodeUpdateAction CodeUpdateTransfer::finish(bool succeeded) {
    phase_ = Phase::Done;
    CodeUpdateAction action;
    action.kind = CodeUpdateAction::Kind::Finish;
    action.succeeded = succeeded;
    return take(std::move(action));
}

CodeUpdateAction CodeUpdateTransfer::fail(std::string line) {
    if (!line.empty()) {
        note(std::move(line));
    }
    return finish(false);
}

CodeUpdateAction CodeUpdateTransfer::waitAgain() {
    CodeUpdateAction action;
    action.kind = CodeUpdateAction::Kind::Wait;
    return take(std::move(action));
}

CodeUpdateAction CodeUpdateTransfer::sendCurrent(bool pause) {
    ++sends_;
    waits_ = 0;
    pausePacket_ = pause;
    CodeUpdateAction action;
    action.kind = CodeUpdateAction::Kind::Send;
    action.packet = packet_;
    action.pauseAfterSend = pause;
    return take(std::move(action));
}

// ---- Events ---------------------------------------------------------------------------------

CodeUpdateAction CodeUpdateTransfer::start() {
    if (!knownKind(kind_)) {
        return fail("> Unkhown file type");
    }
    header_.password = passwordField(settings_.setPassword);
    header_.version = versionFallback_ ? kProtocolVersionFallback : kProtocolVersion;
    if (kind_ == KIND_TAIL || kind_ == KIND_MODEL_QUERY) {
        note("> Getting auraNode model...\n");
        // While the device is asked, the operator may leave the mode, which stops the run.
        effects_.emplace_back(ModeRadios::Enable);
        phase_ = Phase::Query;
        return querySeries();
    }
    return beginRegion();
}

CodeUpdateAction CodeUpdateTransfer::sendFailed() {
    switch (phase_) {
        case Phase::Query:
            return fail("> transferFile sendto error\n");
        case Phase::Clear:
            return fail("> clearing old idata: sendto error\n");
        case Phase::Done:
            return finish(false);
        default:
            return fail("");
    }
}

CodeUpdateAction CodeUpdateTransfer::receiveFailed() {
    return fail(std::string(kReceiveError));
}

CodeUpdateAction CodeUpdateTransfer::silent() {
    lastWaitSilent_ = true;
    switch (phase_) {
        case Phase::Query:
            return nextQueryAttempt();
        case Phase::Pages:
            return afterPageWait();
        case Phase::End:
        case Phase::FinalEnd:
            return afterEndWait();
        case Phase::Clear:
            return afterClearWait();
        case Phase::Done:
            break;
    }
    return finish(false);
}

CodeUpdateAction CodeUpdateTransfer::replied(std::span<const std::uint8_t> datagram) {
    if (datagram.empty()) {
        return silent();
    }
    lastWaitSilent_ = false;
    const auto parsed = parseCodeUpdateReply(datagram);
    const auto* reply = std::get_if<CodeUpdateReply>(&parsed);
    switch (phase_) {
        case Phase::Query:
            if (reply == nullptr) {
                return fail("> Wrong receive length from Code Update wanted " +
                            num(kCodeUpdateReplySize) + ", got " +
                            num(static_cast<long long>(datagram.size())) + "\n");
            }
            return queryReply(*reply);
        case Phase::Pages:
            if (reply == nullptr) {
                note(wrongLengthLine(page_, datagram.size()));
                return afterPageWait();
            }
            return pagesReply(*reply);
        case Phase::End:
        case Phase::FinalEnd:
            if (reply == nullptr) {
                return fail(wrongLengthLine(0, datagram.size()));
            }
            return endReply(*reply);
        case Phase::Clear:
            if (reply == nullptr) {
                return fail(wrongLengthLine(kClearPage, datagram.size()));
            }
            if (reply->code == TFTP_ACK) {
                return beginFinalEnd();
            }
            return afterClearWait();
        case Phase::Done:
            break;
    }
    return finish(false);
}

// ---- Model query ----------------------------------------------------------------------------

bool CodeUpdateTransfer::modelMatches(std::uint8_t model) const {
    return !settings_.model || *settings_.model == model;
}

CodeUpdateAction CodeUpdateTransfer::querySeries() {
    queryAttempts_ = 0;
    return queryAttempt();
}

CodeUpdateAction CodeUpdateTransfer::queryAttempt() {
    ++queryAttempts_;
    packet_ = buildModelQuery(header_);
    // Every attempt is a new query: the resend limit of the other phases does not apply.
    sends_ = 0;
    return sendCurrent(false);
}

CodeUpdateAction CodeUpdateTransfer::nextQueryAttempt() {
    if (queryAttempts_ < kModelQueryAttempts) {
        return queryAttempt();
    }
    if (lastWaitSilent_) {
        return fail("> recv timout\n");
    }
    return querySeries();
}

CodeUpdateAction CodeUpdateTransfer::queryAccepted() {
    if (kind_ == KIND_MODEL_QUERY) {
        return finish(true);
    }
    effects_.emplace_back(ModeRadios::Disable);
    return beginRegion();
}

CodeUpdateAction CodeUpdateTransfer::queryReply(const CodeUpdateReply& reply) {
    switch (reply.code) {
        case TFTP_MODEL:
            if (modelMatches(reply.detail)) {
                return queryAccepted();
            }
            return fail(
                "> Error! Trying to update the microcode using incorrect auraNode model update "
                "file\n");
        case TFTP_ACK:
            if (modelMatches(reply.detail)) {
                return queryAccepted();
            }
            return nextQueryAttempt();
        case TFTP_NACK:
            if (reply.detail == NACK_BAD_PASSWORD) {
                return fail(std::string(kWrongPassword));
            }
            if (reply.detail == NACK_UNKNOWN_MODEL) {
                note("> Updating to an unknown auraNode model\n");
                return queryAccepted();
            }
            if (!versionFallback_) {
                // An older device that does not speak 0x0011: go on with 0x0010 for the rest of
                // the run.
                versionFallback_ = true;
                header_.version = kProtocolVersionFallback;
                if (kind_ == KIND_MODEL_QUERY) {
                    return finish(true);
                }
                return querySeries();
            }
            return fail("> Received an NACK\n");
        default:
            return fail("> Received an unknown packet: " + num(reply.code) + "\n");
    }
}

CodeUpdateTransfer::RegionProgress CodeUpdateTransfer::regionTotal() const {
    return {offset_, pageBytes(endPage_ - firstPage_) + (headerRegion_ ? kHeaderRegionExtra : 0)};
}

std::optional<CodeUpdateTransfer::RegionProgress> CodeUpdateTransfer::regionProgress() const {
    if (!regionBegun_) {
        return std::nullopt;
    }
    return regionTotal();
}

// ---- Pages ----------------------------------------------------------------------------------

CodeUpdateAction CodeUpdateTransfer::beginRegion() {
    phase_ = Phase::Pages;
    headerRegion_ = settings_.hasHeader && kind_ != KIND_TAIL;
    extra_ = headerRegion_ ? kHeaderRegionExtra : 0;
    flags_ = headerRegion_ ? kFlagsFirstHeaderPacket : kFlagsNone;
    endFlags_ = headerRegion_ ? kFlagsHeaderImage : kFlagsNone;
    const std::size_t start = image_.nMinHexAddress;
    switch (kind_) {
        case TYPE_MICROCODE: {
            source_ = image_.imageBuffer;
            // The page count comes from what lies past the start address and the extra bytes;
            // an image shorter than those has no pages to give.
            if (image_.imageLength < start + extra_) {
                return fail("> Error! Microcode image too short\n");
            }
            const std::size_t pages =
                (image_.imageLength - start - extra_ + kCodeUpdatePageSize - 1) /
                kCodeUpdatePageSize;
            firstPage_ = kMicrocodeFirstPage;
            endPage_ = static_cast<std::uint16_t>(std::min<std::size_t>(pages, UINT16_MAX));
            break;
        }
        case TYPE_LOGO:
            source_ = image_.imageBuffer;
            firstPage_ = kLogoFirstPage;
            endPage_ = kLogoEndPage;
            break;
        case TYPE_BIN:
            source_ = image_.imageBuffer;
            firstPage_ = kBinFirstPage;
            endPage_ = kBinEndPage;
            break;
        default:  // KIND_TAIL
            source_ = image_.tailBuffer;
            firstPage_ = kTailFirstPage;
            endPage_ = kTailEndPage;
            break;
    }
    // The update file reader refuses images whose regions run past their buffers; this keeps
    // the sender safe whatever image it is handed.
    const std::size_t stream = extra_ + pageBytes(endPage_ - firstPage_);
    if (start > source_.size() || stream > source_.size() - start) {
        return fail("> Error! The image does not fit its region\n");
    }
    page_ = firstPage_;
    offset_ = 0;
    accepted_ = 0;
    sends_ = 0;
    regionBegun_ = true;
    return sendPages();
}

CodeUpdateAction CodeUpdateTransfer::sendPages() {
    if (page_ >= endPage_) {
        return beginEnd();
    }
    const int left = endPage_ - page_;
    count_ = settings_.onePagePerPacket
                 ? 1
                 : static_cast<std::uint8_t>(std::min<int>(kPagesPerPacket, left));
    const std::size_t bytes = pageBytes(count_) + extra_;
    CodeUpdateHeader header = header_;
    header.command = TFTP_DATA;
    header.count = count_;
    header.flags = flags_;
    header.page = page_;
    // Within bounds: beginRegion checked the whole stream of the region.
    packet_ = buildDataPacket(header, source_.subspan(image_.nMinHexAddress + offset_, bytes));
    note("> Sending Code Update pages " + num(page_) + " to " + num(page_ + count_ - 1) + "\n");
    return sendCurrent(flags_ == kFlagsFirstHeaderPacket);
}

CodeUpdateAction CodeUpdateTransfer::pagesAccepted() {
    page_ = static_cast<std::uint16_t>(page_ + count_);
    offset_ += pageBytes(count_) + extra_;
    ++accepted_;
    sends_ = 0;
    if (headerRegion_) {
        extra_ = 0;
        flags_ = settings_.onePagePerPacket && accepted_ <= kOnePageFlaggedPackets
                     ? kFlagsHeaderImage
                     : kFlagsNone;
    }
    return sendPages();
}

CodeUpdateAction CodeUpdateTransfer::pagesReply(const CodeUpdateReply& reply) {
    switch (reply.code) {
        case TFTP_ACK:
            if (reply.page == page_) {
                return pagesAccepted();
            }
            note("> Received ACK from wrong packet. Wanted packet " + num(page_) + ", got packet " +
                 num(reply.page) + "\n");
            return afterPageWait();
        case TFTP_NACK:
            switch (reply.detail) {
                case NACK_BAD_PASSWORD:
                    return fail(std::string(kWrongPassword));
                case NACK_BAD_CRC:
                    return fail(std::string(kBadCrc));
                case NACK_BAD_VERSION:
                    note("> Received bad version, exiting\n");
                    return fail("version is " + hex(header_.version));
                default:
                    note(nackLine(reply.page));
                    return afterPageWait();
            }
        default:
            note("> Did not get the correct command expected TFTP_ACK(" + num(TFTP_ACK) +
                 "), got " + num(reply.code) + "\n");
            return afterPageWait();
    }
}

CodeUpdateAction CodeUpdateTransfer::afterPageWait() {
    if (++waits_ < kCodeUpdateWaits) {
        return waitAgain();
    }
    if (lastWaitSilent_) {
        note(std::string(kRecvTimeout));
    }
    // The same pages again, with the pause again for a first header packet.
    return resendOrGiveUp();
}

// ---- End, clear page and final end ------------------------------------------------------------

CodeUpdateAction CodeUpdateTransfer::beginEnd() {
    phase_ = Phase::End;
    checkValue_ =
        computeCrc(source_.subspan(image_.nMinHexAddress, pageBytes(endPage_ - firstPage_)));
    CodeUpdateHeader header = header_;
    header.command = TFTP_END;
    header.count = kind_ == TYPE_BIN ? END_BIN : END_CODE;
    header.flags = endFlags_;
    header.page = 0;
    packet_ = buildEndPacket(header, firstPage_, endPage_, checkValue_);
    sends_ = 0;
    return sendCurrent(false);
}

CodeUpdateAction CodeUpdateTransfer::endReply(const CodeUpdateReply& reply) {
    if (reply.code == TFTP_NACK) {
        if (reply.detail == NACK_BAD_CRC) {
            return fail(std::string(kBadCrc));
        }
        return fail(nackLine(reply.page));
    }
    // Any other 23-byte reply accepts the end packet.
    if (phase_ == Phase::End && kind_ == TYPE_MICROCODE) {
        return beginClear();
    }
    return complete();
}

CodeUpdateAction CodeUpdateTransfer::afterEndWait() {
    if (++waits_ < kCodeUpdateWaits) {
        return waitAgain();
    }
    note(phase_ == Phase::End ? "> recv timeout..**\n" : std::string(kRecvTimeout));
    return resendOrGiveUp();
}

CodeUpdateAction CodeUpdateTransfer::beginClear() {
    phase_ = Phase::Clear;
    note("> Finishing transfering microcode\n");
    CodeUpdateHeader header = header_;
    header.command = TFTP_DATA;
    header.count = 1;
    header.flags = endFlags_;
    header.page = kClearPage;
    const std::vector<std::uint8_t> zeros(kCodeUpdatePageSize);
    packet_ = buildDataPacket(header, zeros);
    sends_ = 0;
    return sendCurrent(false);
}

CodeUpdateAction CodeUpdateTransfer::afterClearWait() {
    if (++waits_ < kCodeUpdateWaits) {
        return waitAgain();
    }
    if (lastWaitSilent_) {
        note(std::string(kRecvTimeout));
    }
    return resendOrGiveUp();
}

CodeUpdateAction CodeUpdateTransfer::beginFinalEnd() {
    phase_ = Phase::FinalEnd;
    CodeUpdateHeader header = header_;
    header.command = TFTP_END;
    header.count = END_FINISH;
    header.flags = endFlags_;
    header.page = 0;
    packet_ = buildEndPacket(header, firstPage_, endPage_, checkValue_);
    sends_ = 0;
    return sendCurrent(false);
}

CodeUpdateAction CodeUpdateTransfer::resendOrGiveUp() {
    if (sends_ >= kCodeUpdateMaxSends) {
        // A device that stays silent this long is gone; without a limit the run would never
        // end on its own.
        return fail("> Error! No answer from the remote system\n");
    }
    if (phase_ == Phase::Pages) {
        return sendPages();
    }
    return sendCurrent(pausePacket_);
}

CodeUpdateAction CodeUpdateTransfer::complete() {
    if (kind_ != KIND_TAIL) {
        note("> File Transfered (End transferFile)\n");
    }
    return finish(true);
}

}  // namespace vantor
