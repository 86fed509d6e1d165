#include "plugin/key_images.h"

#include "platform/platform.h"
#include "streamdeck/base64.h"
#include "streamdeck/plugin_channel.h"

#include <limits>

namespace {

FileBytes ReadWholeFile(const std::string &path, std::uint64_t maxSize) {
  platform::RegularFile file(path);
  if (!file.IsOpen() || file.Size() == 0 || file.Size() > maxSize) {
    return FileBytes();
  }
  FileBytes bytes;
  bytes.size = static_cast<std::size_t>(file.Size());
  // Not zero-filled: every byte is read over.
  bytes.data.reset(new unsigned char[bytes.size]);
  std::size_t done = 0;
  while (done < bytes.size) {
    const std::size_t got = file.Read(bytes.data.get() + done, bytes.size - done);
    if (got == 0) {
      return FileBytes(); // shorter than it was when opened, or a read error
    }
    done += got;
  }
  return bytes;
}

} // namespace

FileBytes ReadImageFile(const std::string &path) {
  // The size is counted in 32 bits: a larger file is refused rather than
  // read truncated.
  return ReadWholeFile(path, std::numeric_limits<std::uint32_t>::max());
}

std::string LoadFileAsBase64(const std::string &path) {
  const FileBytes bytes = ReadImageFile(path);
  return Base64Encode(bytes.data.get(), static_cast<std::uint32_t>(bytes.size));
}

void SetKeyImageFromFile(ESDPluginChannel *channel, const std::string &context,
                         const std::string &path) {
  if (channel == nullptr || context.empty() || path.empty()) {
    return;
  }
  const FileBytes bytes = ReadImageFile(path);
  channel->SetImage(bytes.data.get(), bytes.size, context);
}
