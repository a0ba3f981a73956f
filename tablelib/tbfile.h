// A VOS file descriptor closed when it goes out of scope (unless released).
#pragma once

#include "vos/files.h"

namespace tbl {

class FileGuard {
 public:
  explicit FileGuard(int fd) : fd_(fd) {}
  ~FileGuard() {
    if (fd_ > 0) {
      try {
        vos::close(fd_);
      } catch (...) {
        // closing after an error: the first error is the one reported
      }
    }
  }
  FileGuard(const FileGuard&) = delete;
  FileGuard& operator=(const FileGuard&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = 0;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace tbl
