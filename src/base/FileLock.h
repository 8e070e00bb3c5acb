#pragma once

#include <sys/file.h>

#include <cerrno>

namespace vantor {

// An exclusive advisory lock (flock(2)) on an open file, held while this object lives; it waits
// for another holder to let go. The lock belongs to the open file description, so two opens of
// one file in one process exclude each other as two processes do. The descriptor must outlive
// the lock.
class FileLock {
  public:
    explicit FileLock(int fd) : fd_(fd) {
        int result;
        do {
            result = ::flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        locked_ = result == 0;
    }
    ~FileLock() {
        if (locked_) {
            ::flock(fd_, LOCK_UN);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False where the file system keeps no locks (ENOLCK).
    bool locked() const { return locked_; }

  private:
    int fd_;
    bool locked_ = false;
};

}  // namespace vantor
