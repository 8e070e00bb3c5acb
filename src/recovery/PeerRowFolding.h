#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Timings.h"
#include "recovery/RecentTable.h"
#include "recovery/RecoveryService.h"

namespace vantor {

// Bounds the status rows that peers cause, so that a flood of requests cannot push the
// session's history out of the bounded log file. Rows come in groups, one group per request
// of a peer (a text key: the client's address for TFTP, its MAC text for DHCP). A peer's
// first kPeerRowGroupsPerWindow groups of its window are written, and no more than
// kAllPeersRowGroupsPerWindow groups of all peers together in the window that counts for all;
// the rest are folded: not written, only counted. A count is written as one row of its own,
// "(N more from PEER)" or "(N more from other peers)", once its window is over (before the
// next group of any peer) or when the caller flushes. Only rows are folded: the caller still
// answers the request. Pure: the time is a parameter; the caller holds any lock.
class PeerRowFolding {
  public:
    using Clock = std::chrono::steady_clock;

    struct Admission {
        std::vector<std::string> summariesFirst;  // counts now due, written before the group
        bool write = false;                       // write the peer's row group
    };

    // prefix: the listener's interface prefix, which begins each count's row.
    PeerRowFolding(std::string prefix, Millis window)
        : prefix_(std::move(prefix)), window_(window) {}

    // A group of rows of `peerKey` is about to be written at `now`.
    Admission Admit(std::string_view peerKey, Clock::time_point now);
    // Every count not yet written: another row of the listener is about to be written, or the
    // listener ends. Peers already folded stay folded until their window is over.
    std::vector<std::string> Flush();

  private:
    struct Peer {
        Clock::time_point since;  // the start of its window
        std::size_t written = 0;  // groups written in its window
        std::size_t folded = 0;   // groups counted and not yet reported
        std::size_t seen = 0;     // groups in its window, written or not
        // Over its allowance through the window before this one as well: a flood goes on,
        // and gets no rows of its own until it ends.
        bool flooding = false;
    };

    // Whether a window that began at `since` and held `seen` groups against `allowance`,
    // after one that already flooded, is a flood that goes on at `now`: its count waits.
    bool FloodGoesOn(bool flooding, std::size_t seen, std::size_t allowance,
                     Clock::time_point since, Clock::time_point now) const {
        return flooding && seen >= 2 * allowance && !WindowOver(since + window_, now);
    }
    // At the end of a window: whether the next one starts as a flood, which takes twice the
    // allowance; a peer a little over it is only counted, window by window.
    bool StartsFlooding(std::size_t seen, std::size_t allowance, Clock::time_point since,
                        Clock::time_point now) const {
        return seen >= 2 * allowance && !WindowOver(since + window_, now);
    }

    bool WindowOver(Clock::time_point since, Clock::time_point now) const {
        return now - since >= window_;
    }
    // Moves the count of `key` into `rows`.
    void ReportPeer(std::string_view key, std::size_t& folded, std::vector<std::string>& rows);
    void ReportOtherPeers(std::vector<std::string>& rows);
    // The rows of counts whose window is over at `now`.
    void ReportDue(Clock::time_point now, std::vector<std::string>& rows);
    // The entry of `key`, added when new; the count of a peer forgotten to make room for it
    // goes into `rows`.
    Peer& Find(std::string_view key, Clock::time_point now, std::vector<std::string>& rows);

    std::string prefix_;
    Millis window_;
    RecentTable<Peer> peers_{kRowCountedPeers};
    std::vector<std::string> unreported_;  // peers with a count, in the order of their first fold
    std::optional<Clock::time_point> allSince_;  // the start of the window of all peers
    std::size_t allWritten_ = 0;
    std::size_t allSeen_ = 0;  // groups within their peers' allowance, written or not
    bool allFlooding_ = false;
    std::size_t otherFolded_ = 0;
};

}  // namespace vantor
