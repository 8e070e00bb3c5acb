#include "recovery/PeerRowFolding.h"

#include <algorithm>

#include "recovery/RecoveryLog.h"

namespace vantor {

PeerRowFolding::Admission PeerRowFolding::Admit(std::string_view peerKey, Clock::time_point now) {
    Admission admission;
    Peer& peer = Find(peerKey, now, admission.summariesFirst);
    // The counts first, while the windows they belong to are still known.
    ReportDue(now, admission.summariesFirst);
    // A peer over its allowance a whole window stays folded through the next ones until it
    // keeps within it again: a flood of minutes costs a count at its start and one at its end,
    // not a few rows a second that would push the session's history out all the same.
    if (WindowOver(peer.since, now)) {
        peer.flooding = StartsFlooding(peer.seen, kPeerRowGroupsPerWindow, peer.since, now);
        peer.since = now;
        peer.written = 0;
        peer.seen = 0;
    }
    if (!allSince_ || WindowOver(*allSince_, now)) {
        allFlooding_ =
            allSince_ && StartsFlooding(allSeen_, kAllPeersRowGroupsPerWindow, *allSince_, now);
        allSince_ = now;
        allWritten_ = 0;
        allSeen_ = 0;
    }
    ++peer.seen;
    const std::size_t peerAllowance = peer.flooding ? 0 : kPeerRowGroupsPerWindow;
    const std::size_t allAllowance = allFlooding_ ? 0 : kAllPeersRowGroupsPerWindow;
    if (peer.written >= peerAllowance) {
        if (peer.folded++ == 0) {
            unreported_.emplace_back(peerKey);
        }
        return admission;
    }
    ++allSeen_;
    if (allWritten_ >= allAllowance) {
        ++otherFolded_;
    } else {
        ++peer.written;
        ++allWritten_;
        admission.write = true;
    }
    return admission;
}

std::vector<std::string> PeerRowFolding::Flush() {
    std::vector<std::string> rows;
    for (const std::string& key : unreported_) {
        // Every key in unreported_ is in the table: a forgotten peer's count is reported then.
        Peer* peer = peers_.Peek(key);
        rows.push_back(RecoveryLog::foldedRows(prefix_, key, peer->folded));
        peer->folded = 0;
    }
    unreported_.clear();
    ReportOtherPeers(rows);
    return rows;
}

PeerRowFolding::Peer& PeerRowFolding::Find(std::string_view key, Clock::time_point now,
                                           std::vector<std::string>& rows) {
    if (Peer* peer = peers_.Touch(key)) {
        return *peer;
    }
    auto inserted = peers_.Insert(key, Peer{now});
    if (inserted.forgotten && inserted.forgotten->value.folded != 0) {
        ReportPeer(inserted.forgotten->key, inserted.forgotten->value.folded, rows);
    }
    return inserted.value;
}

void PeerRowFolding::ReportPeer(std::string_view key, std::size_t& folded,
                                std::vector<std::string>& rows) {
    rows.push_back(RecoveryLog::foldedRows(prefix_, key, folded));
    folded = 0;
    unreported_.erase(std::find(unreported_.begin(), unreported_.end(), key));
}

void PeerRowFolding::ReportOtherPeers(std::vector<std::string>& rows) {
    if (otherFolded_ != 0) {
        rows.push_back(RecoveryLog::foldedRowsOfOtherPeers(prefix_, otherFolded_));
        otherFolded_ = 0;
    }
}

void PeerRowFolding::ReportDue(Clock::time_point now, std::vector<std::string>& rows) {
    for (std::size_t i = 0; i < unreported_.size();) {
        Peer* peer = peers_.Peek(unreported_[i]);
        if (WindowOver(peer->since, now) &&
            !FloodGoesOn(peer->flooding, peer->seen, kPeerRowGroupsPerWindow, peer->since, now)) {
            ReportPeer(unreported_[i], peer->folded, rows);
        } else {
            ++i;
        }
    }
    if (allSince_ && WindowOver(*allSince_, now) &&
        !FloodGoesOn(allFlooding_, allSeen_, kAllPeersRowGroupsPerWindow, *allSince_, now)) {
        ReportOtherPeers(rows);
    }
}

}  // namespace vantor
