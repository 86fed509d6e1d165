#include "platform/posix/link_wire.h"

#include "platform/posix/state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace posix {
namespace {

template <typename T> void Put(unsigned char *&out, T value) {
  std::memcpy(out, &value, sizeof value);
  out += sizeof value;
}

template <typename T> T Take(const unsigned char *&in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  in += sizeof value;
  return value;
}

// A real folder (not a link to one) of `user` that grants nothing to others.
bool IsPrivateDirectory(const std::string &path, uid_t user) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == user &&
         (status.st_mode & 077) == 0;
}

// The first place that applies; whether it is usable is checked afterwards,
// and an unusable one is not passed over for the next.
std::string ChooseDirectory(const RuntimePlaces &places) {
  if (!places.xdgRuntimeDir.empty() && places.xdgRuntimeDir[0] == '/') {
    return places.xdgRuntimeDir + "/zorvane";
  }
  const std::string user = std::to_string(places.user);
  const std::string userRuntime = places.userRuntimeRoot + "/" + user;
  if (IsPrivateDirectory(userRuntime, places.user)) {
    return userRuntime + "/zorvane";
  }
  return places.tempRoot + "/zorvane-" + user;
}

} // namespace

std::array<unsigned char, kHeaderSize> EncodeHeader(const MessageHeader &header) {
  std::array<unsigned char, kHeaderSize> bytes{};
  unsigned char *out = bytes.data();
  Put(out, kMagic);
  Put(out, header.flags);
  Put(out, header.kind);
  Put(out, header.sender);
  Put(out, header.size);
  Put(out, std::uint32_t{0});
  return bytes;
}

bool DecodeHeader(const std::array<unsigned char, kHeaderSize> &bytes, MessageHeader &header) {
  const unsigned char *in = bytes.data();
  if (Take<std::uint32_t>(in) != kMagic) {
    return false;
  }
  header.flags = Take<std::uint32_t>(in);
  header.kind = Take<std::uint64_t>(in);
  header.sender = Take<std::uint64_t>(in);
  header.size = Take<std::uint32_t>(in);
  const bool bytesWithoutStructure =
      (header.flags & kHasBytes) != 0 && (header.flags & kHasStructure) == 0;
  return (header.flags & ~(kHasStructure | kHasBytes)) == 0 && !bytesWithoutStructure &&
         header.size <= kMaxBytes;
}

std::array<unsigned char, kReplySize> EncodeReply(std::int64_t result) {
  std::array<unsigned char, kReplySize> bytes{};
  unsigned char *out = bytes.data();
  Put(out, result);
  return bytes;
}

std::int64_t DecodeReply(const std::array<unsigned char, kReplySize> &bytes) {
  const unsigned char *in = bytes.data();
  return Take<std::int64_t>(in);
}

RequestAssembler::Room RequestAssembler::NextRoom() {
  if (mState == State::kHeader) {
    return Room{mHeaderBytes.data() + mHeaderFilled, kHeaderSize - mHeaderFilled};
  }
  if (mState != State::kData) {
    return Room{nullptr, 0};
  }
  if (mDataFilled == mData.size()) {
    mData.resize(mData.size() + std::min(kChunk, mDataWanted - mData.size()));
  }
  return Room{mData.data() + mDataFilled, mData.size() - mDataFilled};
}

void RequestAssembler::Took(std::size_t count) {
  if (mState == State::kHeader) {
    mHeaderFilled += count;
    if (mHeaderFilled == kHeaderSize) {
      HeaderArrived();
    }
  } else if (mState == State::kData) {
    mDataFilled += count;
    if (mDataFilled == mDataWanted) {
      mState = State::kComplete;
    }
  }
}

void RequestAssembler::HeaderArrived() {
  if (!DecodeHeader(mHeaderBytes, mHeader)) {
    mState = State::kRefused;
    return;
  }
  mDataWanted = (mHeader.flags & kHasBytes) != 0 ? mHeader.size : 0;
  mState = mDataWanted == 0 ? State::kComplete : State::kData;
}

std::size_t RequestAssembler::Feed(const void *bytes, std::size_t size) {
  const auto *next = static_cast<const unsigned char *>(bytes);
  std::size_t taken = 0;
  for (Room room = NextRoom(); room.size > 0 && taken < size; room = NextRoom()) {
    const std::size_t count = std::min(room.size, size - taken);
    std::memcpy(room.data, next + taken, count);
    Took(count);
    taken += count;
  }
  return taken;
}

std::string RuntimeDirectoryIn(const RuntimePlaces &places) {
  const std::string directory = ChooseDirectory(places);
  // An existing folder is used only if it is ours and nobody else may enter
  // it: the sockets inside are the whole of the link's access control. It is
  // looked at before it is made: every lookup and message asks for it, and
  // only the first finds it missing.
  if (IsPrivateDirectory(directory, places.user)) {
    return directory;
  }
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    return std::string();
  }
  return IsPrivateDirectory(directory, places.user) ? directory : std::string();
}

std::string RuntimeDirectory() {
  RuntimePlaces places;
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  places.xdgRuntimeDir = runtime != nullptr ? runtime : "";
  // Read once: no program of this project changes its effective user, and
  // every lookup and message asks for the folder.
  static const uid_t user = ::geteuid();
  places.user = user;
  return RuntimeDirectoryIn(places);
}

WindowHandle MakeHandle() {
  std::atomic<std::uint16_t> &counter = TheState().handleCounter;
  std::uint64_t index = 0;
  while (index == 0) { // the low 16 bits are never 0
    index = static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
  }
  const std::uint64_t value = (static_cast<std::uint64_t>(::getpid()) << 16) | index;
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(value));
}

pid_t OwnerOf(WindowHandle handle) {
  return static_cast<pid_t>(reinterpret_cast<std::uintptr_t>(handle) >> 16);
}

std::string EndpointName(WindowHandle handle) {
  char name[32];
  std::snprintf(name, sizeof name, "window-%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
  return name;
}

std::string EndpointPath(const std::string &directory, WindowHandle handle) {
  return directory + "/" + EndpointName(handle);
}

std::string TitlePath(const std::string &directory, const std::string &title) {
  return directory + "/" + title;
}

pid_t PeerProcess(int socket) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    return -1;
  }
  return credentials.pid;
}

} // namespace posix
} // namespace platform
