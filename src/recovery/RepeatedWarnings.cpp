#include "recovery/RepeatedWarnings.h"

#include "recovery/RecoveryLog.h"

namespace vantor {

RepeatedWarnings::Rows RepeatedWarnings::Warn(const std::string& line, Clock::time_point now) {
    if (!line_.empty() && line == line_ && now - since_ < window_) {
        ++repeats_;
        return {};
    }
    Rows rows;
    rows.summary = Flush();
    rows.write = true;
    line_ = line;
    since_ = now;
    return rows;
}

std::optional<std::string> RepeatedWarnings::Flush() {
    if (repeats_ == 0) {
        return std::nullopt;
    }
    const std::size_t repeats = repeats_;
    repeats_ = 0;
    return RecoveryLog::repeated(line_, repeats);
}

}  // namespace vantor
