#include "console/StatusLogFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/FileProblem.h"

namespace vantor {

namespace {

constexpr std::string_view kStateFolder = "/.local/state";
constexpr std::string_view kLogName = "/vantor/vantor.log";
constexpr std::size_t kCopyChunk = 64 * 1024;
constexpr int kSecondsPerMinute = 60;
constexpr int kMillisPerSecond = 1000;

// Writes all of `text`; false with errno set on a failure.
bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
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
    bool lineStart = true;
    for (std::size_t i = 0; i <= row.size(); ++i) {
        if (lineStart) {
            lines.append(stamp);
            lineStart = false;
            if (i < row.size() && row[i] != '\r' && row[i] != '\n') {
                lines.push_back(' ');
            }
        }
        if (i == row.size()) {
            break;
        }
        const char c = row[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < row.size() && row[i + 1] == '\n') {
                ++i;  // "\r\n" is one line break
            }
            lines.push_back('\n');
            lineStart = true;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        lines.push_back((byte < 0x20 && c != '\t') || byte == 0x7F ? '?' : c);
    }
    lines.push_back('\n');
    return lines;
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

void StatusLogFile::fail(const std::string& what, int error) {
    failed_ = true;
    fd_.reset();
    // One piece, so that it is one write between the rows another thread puts on the terminal.
    warnings_ << ("vantor: warning: cannot " + what + " the log file " + path_ + ": " +
                  fileErrorText(error) + "; going on without it\n");
    warnings_.flush();
}

bool StatusLogFile::open() {
    if (path_.empty()) {
        failed_ = true;  // no home to keep it in; nothing to warn about twice
        warnings_ << "vantor: warning: no place for the log file (no home folder); going on "
                     "without it\n";
        return false;
    }
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    struct stat info {};
    if (!fd_ || ::fstat(fd_.get(), &info) != 0) {
        fail("open", errno);
        return false;
    }
    size_ = static_cast<std::uintmax_t>(info.st_size);
    return true;
}

std::string StatusLogFile::rotatedPath(int index) const {
    return index == 0 ? path_ : path_ + "." + std::to_string(index);
}

bool StatusLogFile::rotate() {
    fd_.reset();
    for (int index = limits_.keptFiles; index >= 1; --index) {
        if (::rename(rotatedPath(index - 1).c_str(), rotatedPath(index).c_str()) != 0 &&
            errno != ENOENT) {
            fail("rotate", errno);
            return false;
        }
    }
    return open();
}

void StatusLogFile::write(const std::string& text) {
    if (failed_ || (!fd_ && !open())) {
        return;
    }
    if (size_ > 0 && size_ + text.size() > limits_.maxBytes && !rotate()) {
        return;
    }
    if (!writeAll(fd_.get(), text)) {
        fail("write", errno);
        return;
    }
    size_ += text.size();
}

std::optional<std::string> StatusLogFile::saveCopy(const std::string& destination) {
    flush();
    // Saved over one of its own files, the log would be emptied before it is read.
    for (int index = 0; index <= limits_.keptFiles; ++index) {
        std::error_code ignored;
        if (std::filesystem::equivalent(destination, rotatedPath(index), ignored)) {
            return "that is the log file itself";
        }
    }
    const UniqueFd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out) {
        return fileErrorText(errno);
    }
    std::lock_guard file(fileMutex_);
    std::vector<char> chunk(kCopyChunk);
    for (int index = limits_.keptFiles; index >= 0; --index) {
        const UniqueFd in(::open(rotatedPath(index).c_str(), O_RDONLY | O_CLOEXEC));
        if (!in) {
            continue;  // not rotated that often yet
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
