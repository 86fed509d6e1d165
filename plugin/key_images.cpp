#include "plugin/key_images.h"

#include "streamdeck/plugin_channel.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

std::string Base64Encode(const unsigned char *bytes, std::uint32_t length) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((static_cast<std::size_t>(length) + 2) / 3 * 4);
  std::uint32_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += kAlphabet[(group >> 6) & 63];
    text += kAlphabet[group & 63];
  }
  if (length - i == 1) {
    const std::uint32_t group = bytes[i] << 16;
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += "==";
  } else if (length - i == 2) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8);
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += kAlphabet[(group >> 6) & 63];
    text += '=';
  }
  return text;
}

std::string LoadFileAsBase64(const std::string &path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) {
    return std::string();
  }
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::ate);
  if (!file.is_open()) {
    return std::string();
  }
  const std::streamoff end = file.tellg();
  // The size is counted in 32 bits: a larger file is refused rather than
  // read truncated.
  if (end <= 0 || end > std::numeric_limits<std::uint32_t>::max()) {
    return std::string();
  }
  const auto size = static_cast<std::uint32_t>(end);
  std::vector<unsigned char> buffer(size);
  file.seekg(0);
  file.read(reinterpret_cast<char *>(buffer.data()), static_cast<std::streamsize>(size));
  if (file.gcount() != static_cast<std::streamsize>(size)) {
    return std::string();
  }
  return Base64Encode(buffer.data(), size);
}

void SetKeyImageFromFile(ESDPluginChannel *channel, const std::string &context,
                         const std::string &path) {
  if (channel == nullptr || context.empty() || path.empty()) {
    return;
  }
  channel->SetImage(LoadFileAsBase64(path), context);
}
