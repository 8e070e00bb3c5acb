#include "recovery/PeerRowFolding.h"

#include <algorithm>

#include "recovery/RecoveryLog.h"

namespace vantor {

PeerRowFolding::Admission PeerRowFolding::Admit(std::string_view peerKey, Clock::time_point now) {
    Admission admission;
    Peer& peer = Find(peerKey, now, admission.summariesFirst);
    // The counts first, while the windows they belong to are still known.
    ReportDue(now, admission.summariesFirst);
    if (WindowOver(peer.since, now)) {
        peer.since = now;
        peer.written = 0;
    }
    if (!allSince_ || WindowOver(*allSince_, now)) {
        allSince_ = now;
        allWritten_ = 0;
    }
    if (peer.written >= kPeerRowGroupsPerWindow) {
        if (peer.folded++ == 0) {
            unreported_.emplace_back(peerKey);
        }
    } else if (allWritten_ >= kAllPeersRowGroupsPerWindow) {
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
        if (WindowOver(peer->since, now)) {
            ReportPeer(unreported_[i], peer->folded, rows);
        } else {
            ++i;
        }
    }
    if (allSince_ && WindowOver(*allSince_, now)) {
        ReportOtherPeers(rows);
    }
}

}  // namespace vantor
