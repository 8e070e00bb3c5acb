#pragma once

#include <sys/types.h>

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Timings.h"

namespace vantor {

// Runs one console program as a child process and collects everything it writes to standard
// output and standard error (one pipe for both) into a text the caller owns. The run is
// synchronous: Run returns when the child has ended or has been terminated after Cancel.
// The program is started from an argument vector, never through a shell, and inherits no
// descriptor of ours except the pipe's write end as its standard output and error.
//
// The runner never interprets the output; every failure of its own becomes text in the output
// too (a fixed message, "\r\n", the system's text). Whether the child succeeded is left to the
// caller, who may read its exit code.
class CCommandRunner {
  public:
    // commandLine[0] is the program's path (no $PATH search), the rest its arguments. A
    // working directory of none leaves the child in the caller's directory.
    CCommandRunner(std::vector<std::string> commandLine, std::string& output,
                   std::optional<std::string> workingDirectory = std::nullopt,
                   Millis pollInterval = Timings{}.runnerPoll);
    virtual ~CCommandRunner() = default;
    CCommandRunner(const CCommandRunner&) = delete;
    CCommandRunner& operator=(const CCommandRunner&) = delete;

    // May be called from another thread while Run waits; a child still running is killed at
    // the next poll.
    virtual void Cancel();
    virtual void Run();

    // The code the child passed to exit() once Run has returned; nothing when it could not be
    // started, was killed by a signal or cancelled.
    std::optional<int> exitCode() const { return exitCode_; }

    void AppendOutput(std::string_view text);
    // Appends context, "\r\n" and the system's text for errorCode.
    void ReportError(std::string_view context, int errorCode);

  private:
    int spawnChild(int writeEnd, pid_t& pid) const;
    void takeChunk(std::string_view bytes);
    void flushHeldBack();
    void closeReporting(int fd, std::string_view message);

    std::string& output_;
    const std::vector<std::string> commandLine_;
    const std::optional<std::string> workingDirectory_;
    const Millis pollInterval_;
    std::atomic<bool> cancelRequested_{false};
    // The tail of the last chunk when it could be the start of the pause prompt; it is
    // judged together with the next chunk so that a prompt split by the pipe is still cut.
    std::string heldBack_;
    std::optional<int> exitCode_;
};

}  // namespace vantor
