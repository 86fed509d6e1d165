#include "platform/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RegularFile::RegularFile(const std::string &utf8Path) {
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
  const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return;
  }
  mHandle = fd;
  mOpen = true;
  mSize = static_cast<std::uint64_t>(status.st_size);
}

RegularFile::~RegularFile() {
  if (mOpen) {
    ::close(static_cast<int>(mHandle));
  }
}

std::size_t RegularFile::Read(void *buffer, std::size_t size) {
  if (!mOpen) {
    return 0;
  }
  ssize_t got;
  do {
    got = ::read(static_cast<int>(mHandle), buffer, size);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace platform
