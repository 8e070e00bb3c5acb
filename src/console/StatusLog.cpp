#include "console/StatusLog.h"

namespace vantor {

StatusLog::StatusLog(const std::atomic<ConsoleMode>& mode, std::size_t maxRows)
    : mode_(mode), maxRows_(maxRows) {}

void StatusLog::setObserver(Observer* observer) {
    std::lock_guard lock(mutex_);
    observer_ = observer;
}

bool StatusLog::accepts(int statusTag) const {
    const int tag = statusTag & 0xFFFF;
    return tag == kTagAlways || tag == tagOf(mode_.load());
}

bool StatusLog::append(int statusTag, const std::string& text) {
    if (!accepts(statusTag)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    // Room is made before the row goes in, so that a view mirroring the changes never holds
    // more than maxRows_ rows either, not even between two of them.
    if (maxRows_ > 0 && rows_.size() >= maxRows_) {
        removeOldest(rows_.size() + 1 - maxRows_);
    }
    rows_.push_back(text);
    if (observer_ != nullptr) {
        observer_->rowAppended(text);
    }
    if (rows_.size() > maxRows_) {
        removeOldest(rows_.size() - maxRows_);  // a log of no rows at all
    }
    return true;
}

void StatusLog::removeOldest(std::size_t count) {
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count));
    if (observer_ != nullptr) {
        observer_->oldestRowsRemoved(count);
    }
}

void StatusLog::clear() {
    std::lock_guard lock(mutex_);
    rows_.clear();
    if (observer_ != nullptr) {
        observer_->cleared();
    }
}

std::vector<std::string> StatusLog::rows() const {
    std::lock_guard lock(mutex_);
    return {rows_.begin(), rows_.end()};
}

std::size_t StatusLog::size() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
}

}  // namespace vantor
