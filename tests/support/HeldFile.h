#pragma once
// THeldFile: holds an exclusive advisory lock on a file, as a program that has it open for editing
// does, until it is released or goes out of scope.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace quillmar::test {

class THeldFile {
public:
  explicit THeldFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
  }
  ~THeldFile() { Release(); }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
};

}  // namespace quillmar::test
