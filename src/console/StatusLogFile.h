#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

#include "base/UniqueFd.h"

namespace vantor {

// About 1 MB a file, and three older files: enough for a day of installs, small enough to
// mail.
inline constexpr std::uintmax_t kLogFileMaxBytes = 1024 * 1024;
inline constexpr int kLogFilesKept = 3;
// Rows waiting for a slow disk beyond this are counted, not kept: the log never grows the
// program's memory without bound.
inline constexpr std::size_t kLogQueueMaxRows = 10000;

// How large the log file grows before it is rotated (PATH -> PATH.1 -> ... -> PATH.keptFiles).
struct LogFileLimits {
    std::uintmax_t maxBytes = kLogFileMaxBytes;
    int keptFiles = kLogFilesKept;  // at least 1
};

// The status log as a file the installer can send: every row, each of its lines led by an
// ISO 8601 timestamp, appended to one file. The rows are written on a thread of its own, so
// that a slow or stuck disk never holds up the user-interface thread or the workers waiting
// for it. A file that cannot be written costs one warning; the program goes on without it, as
// it does when PATH is a FIFO, a folder or a device, which are refused without waiting on them.
// "/dev/null" is the operator's way of keeping no log file: no file, no warning.
//
// Several instances may share one file (two windows, a headless run beside a window): each
// appends (O_APPEND) and decides on a rotation under an advisory lock on the file, from the
// file's own size, so no row is lost and each instance's rows stay in their order.
class StatusLogFile {
  public:
    StatusLogFile(std::string path, std::ostream& warnings, LogFileLimits limits = {});
    ~StatusLogFile();  // writes what is queued, then stops the writer
    StatusLogFile(const StatusLogFile&) = delete;
    StatusLogFile& operator=(const StatusLogFile&) = delete;

    // Queues a row, stamped now; any thread, never waits for the disk.
    void append(const std::string& row);
    // Waits until every row appended so far is in the file (or dropped).
    void flush();
    // Writes the whole log, the rotated files oldest first, to `destination`; the reason when
    // that failed.
    std::optional<std::string> saveCopy(const std::string& destination);
    const std::string& path() const { return path_; }

    // Why `path` cannot hold the log: it names a folder, a FIFO or a device. Nothing for a
    // regular file, "/dev/null", or a path where nothing is yet (or that cannot be looked at:
    // the first row finds out why). Looks without opening, so a FIFO neither blocks the caller
    // nor shows its reader a writer that comes and goes.
    static std::optional<std::string> pathProblem(const std::string& path);

    // $XDG_STATE_HOME/vantor/vantor.log, else ~/.local/state/vantor/vantor.log; empty when
    // there is no home at all. A relative XDG_STATE_HOME is ignored: the XDG base directories
    // must be absolute paths, and a relative one would follow the working directory.
    static std::string defaultPath();
    static std::string defaultPath(const char* stateHome, const char* home);

    // "2026-12-08T13:05:12.345+01:00", local time with its offset.
    static std::string timestamp(std::chrono::system_clock::time_point at);
    // The row as file lines: its line end dropped, each inner line led by the stamp, what
    // printableText refuses shown as '?' (tabs kept).
    static std::string rowLines(std::string_view stamp, std::string_view row);

  private:
    // What one attempt to place a row did, decided under the lock.
    enum class Placing { Written, Reopen, Failed };
    struct Attempt {
        Placing placing = Placing::Written;
        const char* what = "";  // of a failure: "write", "rotate"
        int error = 0;
    };

    void run();
    // Writer thread, fileMutex_ held.
    void write(const std::string& text);
    Attempt writeLocked(const std::string& text, bool lastAttempt);
    bool open();
    void fail(const std::string& what, const std::string& reason);
    std::string rotatedPath(int index) const;
    // PATH opened for reading and locked (the lock goes with the descriptor); invalid when
    // there is no file at PATH.
    UniqueFd lockedForReading() const;

    const std::string path_;
    std::ostream& warnings_;
    const LogFileLimits limits_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::string> queue_;
    std::uint64_t queued_ = 0;   // rows ever queued
    std::uint64_t written_ = 0;  // of those, rows written
    std::size_t dropped_ = 0;    // rows not queued since the last note of it
    bool stopping_ = false;

    // The file itself: the writer while it writes, and a copy being saved.
    std::mutex fileMutex_;
    UniqueFd fd_;
    bool failed_ = false;

    std::thread writer_;  // started once everything above is ready
};

}  // namespace vantor
