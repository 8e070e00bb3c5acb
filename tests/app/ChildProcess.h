#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vantor::test {

// A program of the test run, started from its argument vector (found on $PATH) with its
// standard output and error in one pipe. The destructor kills and reaps it if it still runs.
class ChildProcess {
  public:
    explicit ChildProcess(std::vector<std::string> argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Reads output until it holds `text` `count` times, the output ends or the time is up;
    // returns everything read so far.
    const std::string& readUntil(const std::string& text, int count = 1,
                                 std::chrono::milliseconds limit = std::chrono::seconds(5));
    const std::string& output() const { return output_; }
    int occurrences(const std::string& text) const;
    void signal(int sig);
    // Waits for the exit, reading output meanwhile: the exit code (128 + the signal for a
    // killed program), or -1 when it did not end in time.
    int waitExit(std::chrono::milliseconds limit);

  private:
    // Bytes read, 0 when nothing came within the time, -1 at the end of the output.
    long readSome(int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

}  // namespace vantor::test
