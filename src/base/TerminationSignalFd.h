#pragma once

namespace vantor {

// SIGINT and SIGTERM read from a descriptor instead of ending the process in the middle of
// whatever the workers were doing. block() must run before any other thread starts, so that
// every thread inherits the mask and no thread takes the signals with their default action.
class TerminationSignalFd {
  public:
    static void block();

    TerminationSignalFd();
    ~TerminationSignalFd();
    TerminationSignalFd(const TerminationSignalFd&) = delete;
    TerminationSignalFd& operator=(const TerminationSignalFd&) = delete;

    // The descriptor to wait on (readable when a signal is pending), or -1.
    int fd() const { return fd_; }
    // Reads every pending signal; true when there was one.
    bool drain();

  private:
    int fd_ = -1;
};

}  // namespace vantor
