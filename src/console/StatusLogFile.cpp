#include "console/StatusLogFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/FileLock.h"
#include "base/FileProblem.h"
#include "base/PrintableText.h"
#include "base/WriteAll.h"

namespace vantor {

namespace {

constexpr std::string_view kStateFolder = "/.local/state";
constexpr std::string_view kLogName = "/vantor/vantor.log";
constexpr std::string_view kNoLogFile = "/dev/null";
constexpr std::string_view kNotARegularFile = "not a regular file";
constexpr int kAppendFlags = O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr mode_t kLogFileMode = 0600;
// How often one row looks for the file PATH names when other instances keep rotating it away
// between this one's open and its lock; each of those rotations needed a file's worth of rows.
constexpr int kPlacingAttempts = 8;
constexpr std::size_t kCopyChunk = 64 * 1024;
constexpr int kSecondsPerMinute = 60;
constexpr int kMillisPerSecond = 1000;

// Whether `path` names the file `held` describes (the same device and inode).
bool namesFile(const std::string& path, const struct stat& held) {
    struct stat named {};
    return ::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
           named.st_ino == held.st_ino;
}

}  // namespace

StatusLogFile::StatusLogFile(std::string path, std::ostream& warnings, LogFileLimits limits)
    : path_(std::move(path)), warnings_(warnings), limits_(limits) {
    // The writer starts with every signal blocked: SIGINT and SIGTERM belong to the thread
    // that waits for them, and a writer started before they are blocked there must not take
    // one and end the program uncleanly.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    writer_ = std::thread([this] { run(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

StatusLogFile::~StatusLogFile() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    writer_.join();
}

std::string StatusLogFile::defaultPath() {
    return defaultPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

std::string StatusLogFile::defaultPath(const char* stateHome, const char* home) {
    if (stateHome != nullptr && stateHome[0] == '/') {
        return std::string(stateHome) + std::string(kLogName);
    }
    std::string homeDir = home != nullptr ? home : "";
    if (homeDir.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir) {
            homeDir = user->pw_dir;
        }
    }
    if (homeDir.empty()) {
        return {};
    }
    return homeDir + std::string(kStateFolder) + std::string(kLogName);
}

std::string StatusLogFile::timestamp(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(at);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const auto millis =
        duration_cast<milliseconds>(at.time_since_epoch()).count() % kMillisPerSecond;
    const long offsetMinutes = local.tm_gmtoff / kSecondsPerMinute;
    const long absOffset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d%c%02ld:%02ld",
                  static_cast<int>(millis < 0 ? millis + kMillisPerSecond : millis),
                  offsetMinutes < 0 ? '-' : '+', absOffset / kSecondsPerMinute,
                  absOffset % kSecondsPerMinute);
    return text;
}

std::string StatusLogFile::rowLines(std::string_view stamp, std::string_view row) {
    while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) {
        row.remove_suffix(1);
    }
    std::string lines;
    lines.reserve(stamp.size() + row.size() + 2);
    for (;;) {
        const std::size_t end = row.find_first_of("\r\n");
        const std::string_view line = row.substr(0, end);
        lines.append(stamp);
        if (!line.empty()) {
            lines.push_back(' ');
            lines += printableText(line, Tabs::Kept);
        }
        lines.push_back('\n');
        if (end == std::string_view::npos) {
            return lines;
        }
        // "\r\n" is one line break; a lone CR is one too, as it would overwrite the line on a
        // terminal.
        row.remove_prefix(end + (row.substr(end, 2) == "\r\n" ? 2 : 1));
    }
}

void StatusLogFile::append(const std::string& row) {
    std::string lines = rowLines(timestamp(std::chrono::system_clock::now()), row);
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.size() >= kLogQueueMaxRows) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(lines));
        ++queued_;
    }
    queueChanged_.notify_all();
}

void StatusLogFile::flush() {
    std::unique_lock lock(queueMutex_);
    const std::uint64_t target = queued_;
    queueChanged_.wait(lock, [&] { return written_ >= target; });
}

void StatusLogFile::run() {
    for (;;) {
        std::deque<std::string> batch;
        std::size_t dropped = 0;
        {
            std::unique_lock lock(queueMutex_);
            queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;  // stopping, and everything is written
            }
            batch.swap(queue_);
            dropped = std::exchange(dropped_, 0);
        }
        {
            std::lock_guard file(fileMutex_);
            if (dropped > 0) {
                std::string note = "(";
                note += std::to_string(dropped);
                note += " rows not written: the disk was too slow)";
                write(rowLines(timestamp(std::chrono::system_clock::now()), note));
            }
            for (const std::string& lines : batch) {
                write(lines);
            }
        }
        {
            std::lock_guard lock(queueMutex_);
            written_ += batch.size();
        }
        queueChanged_.notify_all();
    }
}

std::optional<std::string> StatusLogFile::pathProblem(const std::string& path) {
    if (path == kNoLogFile) {
        return std::nullopt;
    }
    return writableTargetProblem(path);
}

void StatusLogFile::fail(const std::string& what, const std::string& reason) {
    failed_ = true;
    fd_.reset();
    // One piece, so that it is one write between the rows another thread puts on the terminal.
    warnings_ << ("vantor: warning: cannot " + what + " the log file " + path_ + ": " + reason +
                  "; going on without it\n");
    warnings_.flush();
}

bool StatusLogFile::open() {
    if (path_.empty()) {
        failed_ = true;  // no home to keep it in; nothing to warn about twice
        warnings_ << "vantor: warning: no place for the log file (no home folder); going on "
                     "without it\n";
        return false;
    }
    if (path_ == kNoLogFile) {
        failed_ = true;  // the operator asked for no log file
        return false;
    }
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of holding the writer,
    // and with it the program's exit, until one comes; one with a reader opens and is refused
    // below. It changes nothing for a regular file.
    fd_.reset(::open(path_.c_str(), kAppendFlags, kLogFileMode));
    if (!fd_) {
        fail("open", errno == ENXIO ? std::string(kNotARegularFile) : fileErrorText(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) {
        fail("open", fileErrorText(errno));
        return false;
    }
    if (const auto problem = fileTypeProblem(info.st_mode)) {
        fail("open", *problem);
        return false;
    }
    return true;
}

std::string StatusLogFile::rotatedPath(int index) const {
    return index == 0 ? path_ : path_ + "." + std::to_string(index);
}

void StatusLogFile::write(const std::string& text) {
    for (int attempt = 1; !failed_; ++attempt) {
        if (!fd_ && !open()) {
            return;
        }
        Attempt done;
        {
            // Where the file system keeps no locks the row is still written, only a rotation
            // is then no longer guarded against another instance's.
            const FileLock lock(fd_.get());
            done = writeLocked(text, attempt >= kPlacingAttempts);
        }
        switch (done.placing) {
            case Placing::Written:
                return;
            case Placing::Reopen:
                fd_.reset();
                break;
            case Placing::Failed:
                fail(done.what, fileErrorText(done.error));
                return;
        }
    }
}

StatusLogFile::Attempt StatusLogFile::writeLocked(const std::string& text, bool lastAttempt) {
    // Under the lock PATH names the file it locks until this instance lets go: only the holder
    // of that lock renames it. Another instance may have rotated the file this one holds away
    // since it was opened; the row then belongs in the new PATH.
    struct stat held {};
    if (::fstat(fd_.get(), &held) != 0) {
        return {Placing::Failed, "write", errno};
    }
    const bool current = namesFile(path_, held);
    // An instance that finds the file rotated away attempt after attempt writes into the one it
    // holds: that is still one of the log's files, so the row is kept, a little earlier in the
    // log than its time. Dropping it would lose it, and waiting longer could hold the writer
    // for as long as other instances keep rotating.
    if (!lastAttempt) {
        if (!current) {
            return {Placing::Reopen};
        }
        const auto size = static_cast<std::uintmax_t>(held.st_size);
        if (size > 0 && size + text.size() > limits_.maxBytes) {
            for (int index = limits_.keptFiles; index >= 1; --index) {
                if (::rename(rotatedPath(index - 1).c_str(), rotatedPath(index).c_str()) != 0 &&
                    errno != ENOENT) {
                    return {Placing::Failed, "rotate", errno};
                }
            }
            return {Placing::Reopen};
        }
    }
    if (!writeAll(fd_.get(), text)) {
        return {Placing::Failed, "write", errno};
    }
    return {Placing::Written};
}

UniqueFd StatusLogFile::lockedForReading() const {
    for (int attempt = 0; attempt < kPlacingAttempts; ++attempt) {
        UniqueFd fd(::open(path_.c_str(), kReadFlags));
        if (!fd) {
            return {};
        }
        int locked = 0;
        do {
            locked = ::flock(fd.get(), LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat held {};
        if (locked != 0 || ::fstat(fd.get(), &held) != 0) {
            return {};
        }
        if (namesFile(path_, held)) {
            return fd;
        }
    }
    return {};  // rotated away every time: copied without the lock
}

std::optional<std::string> StatusLogFile::saveCopy(const std::string& destination) {
    flush();
    if (path_ == kNoLogFile) {
        return "no log file is kept (" + path_ + ")";
    }
    // Saved over one of its own files, the log would be emptied before it is read.
    for (int index = 0; index <= limits_.keptFiles; ++index) {
        std::error_code ignored;
        if (std::filesystem::equivalent(destination, rotatedPath(index), ignored)) {
            return "that is the log file itself";
        }
    }
    // Not blocking on a FIFO the operator picked, and truncating only once the destination is
    // known to be a regular file: a device chosen by mistake is left as it was.
    const UniqueFd out(::open(
        destination.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kLogFileMode));
    if (!out && errno == ENXIO) {
        return std::string(kNotARegularFile);  // a FIFO that nobody reads
    }
    if (!out) {
        return fileErrorText(errno);
    }
    struct stat target {};
    if (::fstat(out.get(), &target) != 0) {
        return fileErrorText(errno);
    }
    if (const auto problem = fileTypeProblem(target.st_mode)) {
        return problem;
    }
    if (::ftruncate(out.get(), 0) != 0) {
        return fileErrorText(errno);
    }
    std::lock_guard file(fileMutex_);
    // Another instance rotating in the middle of the copy would leave a file out or copy one
    // twice; rotation waits for this lock.
    const UniqueFd current = lockedForReading();
    std::vector<char> chunk(kCopyChunk);
    for (int index = limits_.keptFiles; index >= 0; --index) {
        const UniqueFd in(::open(rotatedPath(index).c_str(), kReadFlags));
        struct stat info {};
        if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;  // not rotated that often yet, or nothing the log wrote
        }
        for (;;) {
            const ssize_t got = ::read(in.get(), chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return fileErrorText(errno);
            }
            if (got == 0) {
                break;
            }
            if (!writeAll(out.get(),
                          std::string_view(chunk.data(), static_cast<std::size_t>(got)))) {
                return fileErrorText(errno);
            }
        }
    }
    return std::nullopt;
}

}  // namespace vantor
