// What a process of the same user can do to the POSIX desktop link, and how
// the link holds: a listener that never accepts, a peer that never reads or
// answers, one that answers in pieces or closes before its answer ends, a
// peer that connects and says nothing or only part of a message, and peers
// that use up every descriptor of the receiving process.
#include "platform/platform.h"
#include "platform/posix/link_client.h"
#include "platform/posix/link_wire.h"
#include "tools/support/window_thread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace posix = platform::posix;

// Bounds every wait for something the link must do; only a hang reaches it.
constexpr int kHangGuardMs = 30000;

std::intptr_t Accept(platform::WindowHandle, const platform::CopyData *) { return 7; }

// A Unix stream socket of the test's own, closed with the test.
class RawSocket {
public:
  RawSocket() : mFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  explicit RawSocket(int fd) : mFd(fd) {}
  ~RawSocket() { Close(); }
  RawSocket(RawSocket &&other) noexcept : mFd(other.mFd) { other.mFd = -1; }
  RawSocket &operator=(RawSocket &&) = delete;
  RawSocket(const RawSocket &) = delete;
  RawSocket &operator=(const RawSocket &) = delete;

  int Fd() const { return mFd; }
  void Close() {
    if (mFd >= 0) {
      ::close(mFd);
      mFd = -1;
    }
  }
  // 0 on success, else the errno of connect.
  int Connect(const std::string &path, bool nonBlocking = false) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (nonBlocking) {
      ::fcntl(mFd, F_SETFL, O_NONBLOCK);
    }
    return ::connect(mFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
               ? 0
               : errno;
  }
  bool Write(const void *data, std::size_t size) {
    return ::send(mFd, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
  }
  // True once the other end has closed the connection (or an error ended it),
  // false when only the hang guard ended the wait.
  bool WaitForEnd() {
    char byte;
    while (WaitReadable()) {
      const ssize_t got = ::recv(mFd, &byte, 1, 0);
      if (got <= 0) {
        return true;
      }
    }
    return false;
  }
  bool WaitReadable() {
    pollfd entry{mFd, POLLIN, 0};
    return ::poll(&entry, 1, kHangGuardMs) == 1;
  }

private:
  int mFd;
};

std::string Directory() { return posix::RuntimeDirectory(); }

std::string UniqueTitle(const char *name) {
  return std::string("hostile-") + name + "-" + std::to_string(::getpid());
}

std::array<unsigned char, posix::kHeaderSize> RequestHeader(std::uint32_t size) {
  posix::MessageHeader header;
  header.flags = posix::kHasStructure | posix::kHasBytes;
  header.kind = 0x160001;
  header.size = size;
  return posix::EncodeHeader(header);
}

// A listener that never accepts, standing where a window of this process
// would, and named by a title link.
class SilentListener {
public:
  SilentListener(const std::string &title, int backlog) : mHandle(posix::MakeHandle()) {
    mPath = posix::EndpointPath(Directory(), mHandle);
    mTitlePath = posix::TitlePath(Directory(), title);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, mPath.c_str(), sizeof address.sun_path - 1);
    ::unlink(mPath.c_str());
    EXPECT_EQ(::bind(mSocket.Fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address),
              0);
    EXPECT_EQ(::listen(mSocket.Fd(), backlog), 0);
    ::unlink(mTitlePath.c_str());
    EXPECT_EQ(::symlink(posix::EndpointName(mHandle).c_str(), mTitlePath.c_str()), 0);
  }
  ~SilentListener() {
    ::unlink(mTitlePath.c_str());
    ::unlink(mPath.c_str());
  }
  const std::string &Path() const { return mPath; }
  platform::WindowHandle Handle() const { return mHandle; }
  // Accepts one waiting connection, if there is one.
  RawSocket AcceptOne() {
    return RawSocket(::accept4(mSocket.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
  }
  // Lets every waiting connection through, so that a blocked peer returns.
  void Release() {
    ::fcntl(mSocket.Fd(), F_SETFL, O_NONBLOCK);
    while (AcceptOne().Fd() >= 0) {
    }
  }

private:
  platform::WindowHandle mHandle;
  RawSocket mSocket;
  std::string mPath;
  std::string mTitlePath;
};

TEST(HostilePeer, ListenerWithAFullBacklogCountsAsAbsentAndTheLookupReturns) {
  const std::string title = UniqueTitle("full");
  SilentListener listener(title, 0);
  std::vector<RawSocket> waiting;
  for (int i = 0; i < 64; ++i) {
    waiting.emplace_back();
    if (waiting.back().Connect(listener.Path(), true) == EAGAIN) {
      break;
    }
  }
  ASSERT_EQ(RawSocket().Connect(listener.Path(), true), EAGAIN) << "the backlog is full";

  auto lookup =
      std::async(std::launch::async, [&title] { return platform::FindWindowByTitle(title); });
  if (lookup.wait_for(std::chrono::milliseconds(kHangGuardMs)) != std::future_status::ready) {
    listener.Release();
    ADD_FAILURE() << "the lookup blocked on a listener that accepts nothing";
  }
  EXPECT_EQ(lookup.get(), nullptr);
}

TEST(HostilePeer, SendToAWindowThatNeverAnswersGivesUpAtItsDeadline) {
  // A short request waits for the reply; one larger than the socket's
  // buffers waits to be written, since the peer reads nothing.
  const std::string small = "{\"value1\":1}";
  const std::string large(8 << 20, 'x');
  for (const std::string *text : {&small, &large}) {
    SilentListener listener(UniqueTitle("mute"), 8);
    platform::CopyData data;
    data.kind = 0x80002;
    data.size = static_cast<std::uint32_t>(text->size());
    data.data = text->data();
    auto send = std::async(std::launch::async, [&] {
      return posix::SendWithin(Directory(), listener.Handle(), nullptr, &data, 200ms);
    });
    // The peer takes the connection, but never reads or answers.
    RawSocket accepted = listener.AcceptOne();
    ASSERT_GE(accepted.Fd(), 0);
    if (send.wait_for(std::chrono::milliseconds(kHangGuardMs)) != std::future_status::ready) {
      accepted.Close();
      ADD_FAILURE() << "the sender of " << text->size() << " bytes waited past its deadline";
    }
    EXPECT_EQ(send.get(), 0);
  }
}

// A peer may answer a few bytes at a time: the sender waits for the rest.
// One that closes before its reply is whole has given no answer.
TEST(HostilePeer, ReplyInPiecesIsJoinedAndOneCutShortCountsAsNone) {
  constexpr std::int64_t kAnswer = 0x0102030405060708; // every byte counts
  for (const bool cutShort : {false, true}) {
    SilentListener listener(UniqueTitle("slow"), 8);
    platform::CopyData data;
    data.kind = 0x80002;
    auto send = std::async(std::launch::async, [&] {
      return posix::SendWithin(Directory(), listener.Handle(), nullptr, &data,
                               posix::kExchangeLimit);
    });
    RawSocket accepted = listener.AcceptOne();
    ASSERT_GE(accepted.Fd(), 0);
    std::array<unsigned char, posix::kHeaderSize> request{};
    ASSERT_EQ(::recv(accepted.Fd(), request.data(), request.size(), MSG_WAITALL),
              static_cast<ssize_t>(request.size()));
    const auto reply = posix::EncodeReply(kAnswer);
    ASSERT_TRUE(accepted.Write(reply.data(), 3));
    std::this_thread::sleep_for(20ms);
    if (cutShort) {
      accepted.Close();
    } else {
      ASSERT_TRUE(accepted.Write(reply.data() + 3, reply.size() - 3));
    }
    ASSERT_EQ(send.wait_for(std::chrono::milliseconds(kHangGuardMs)), std::future_status::ready);
    EXPECT_EQ(send.get(), cutShort ? 0 : kAnswer) << (cutShort ? "cut short" : "in pieces");
  }
}

TEST(HostilePeer, PeersThatStopBeforeTheirMessageEndsAreDisconnected) {
  const WindowThread window(UniqueTitle("idle"), Accept);
  ASSERT_NE(window.Handle(), nullptr);
  const std::string path = posix::EndpointPath(Directory(), window.Handle());

  RawSocket silent;
  ASSERT_EQ(silent.Connect(path), 0);
  RawSocket halfHeader;
  ASSERT_EQ(halfHeader.Connect(path), 0);
  const auto header = RequestHeader(100);
  ASSERT_TRUE(halfHeader.Write(header.data(), 10));
  RawSocket halfData;
  ASSERT_EQ(halfData.Connect(path), 0);
  ASSERT_TRUE(halfData.Write(header.data(), header.size()));
  ASSERT_TRUE(halfData.Write(std::string(50, 'x').data(), 50));

  EXPECT_TRUE(silent.WaitForEnd());
  EXPECT_TRUE(halfHeader.WaitForEnd());
  EXPECT_TRUE(halfData.WaitForEnd());
  platform::CopyData data;
  EXPECT_EQ(platform::SendCopyData(window.Handle(), nullptr, &data), 7);
}

// Lowers the process's descriptor limit so that exactly `room` more
// descriptors can be opened; the old limit returns with the guard.
class DescriptorLimit {
public:
  explicit DescriptorLimit(std::size_t room) {
    ::getrlimit(RLIMIT_NOFILE, &mSaved);
    std::set<int> open;
    DIR *listing = ::opendir("/proc/self/fd");
    const int listingFd = ::dirfd(listing);
    for (dirent *entry = ::readdir(listing); entry != nullptr; entry = ::readdir(listing)) {
      if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != listingFd) {
        open.insert(std::atoi(entry->d_name));
      }
    }
    ::closedir(listing);
    // The limit is one past the highest number allowed: leave `room` free numbers below it.
    rlim_t limit = 0;
    for (std::size_t spare = 0; spare < room; ++limit) {
      if (open.count(static_cast<int>(limit)) == 0) {
        ++spare;
      }
    }
    rlimit lowered = mSaved;
    lowered.rlim_cur = limit;
    EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &mSaved); }
  DescriptorLimit(const DescriptorLimit &) = delete;
  DescriptorLimit &operator=(const DescriptorLimit &) = delete;

private:
  rlimit mSaved{};
};

// True once no descriptor can be opened; false when only the hang guard ended the wait.
bool WaitUntilDescriptorsRunOut() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
  while (std::chrono::steady_clock::now() < end) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0 && errno == EMFILE) {
      return true;
    }
    if (probe >= 0) {
      ::close(probe);
    }
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(HostilePeer, AcceptingGoesOnAfterTheDescriptorsRanOut) {
  const WindowThread window(UniqueTitle("emfile"), Accept);
  ASSERT_NE(window.Handle(), nullptr);
  const std::string path = posix::EndpointPath(Directory(), window.Handle());
  constexpr std::size_t kIdlePeers = 4;
  std::vector<RawSocket> idle(kIdlePeers);
  RawSocket messenger;
  {
    // The window may take the idle peers' connections, and no more.
    const DescriptorLimit limit(kIdlePeers);
    for (RawSocket &peer : idle) {
      ASSERT_EQ(peer.Connect(path), 0);
    }
    ASSERT_EQ(messenger.Connect(path), 0);
    const auto header = RequestHeader(0);
    ASSERT_TRUE(messenger.Write(header.data(), header.size()));
    ASSERT_TRUE(WaitUntilDescriptorsRunOut());
    // The window has taken every idle peer and has failed on the messenger.
    for (RawSocket &peer : idle) {
      peer.Close();
    }
  }
  ASSERT_TRUE(messenger.WaitReadable()) << "the window stopped accepting";
  std::array<unsigned char, posix::kReplySize> reply{};
  ASSERT_EQ(::recv(messenger.Fd(), reply.data(), reply.size(), MSG_WAITALL),
            static_cast<ssize_t>(reply.size()));
  EXPECT_EQ(posix::DecodeReply(reply), 7);
}

} // namespace
