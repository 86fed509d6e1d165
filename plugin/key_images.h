// Showing an image file on a key: the file is read whole into one buffer and
// encoded in Base64 straight into the setImage message that goes out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class ESDPluginChannel;

// The bytes of an image file as one buffer.
struct FileBytes {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
};

// The file's whole content; empty when the file cannot be opened, is not a
// regular file, is empty, is 4 GiB or larger, or cannot be read in full. The
// file is opened without blocking and checked after it was opened.
FileBytes ReadImageFile(const std::string &path);

// The file's whole content in Base64; empty when ReadImageFile gives nothing.
std::string LoadFileAsBase64(const std::string &path);

// Sends the file as the key's image; an unreadable file sends the empty image.
// Does nothing for an empty context or path, or without a channel.
void SetKeyImageFromFile(ESDPluginChannel *channel, const std::string &context,
                         const std::string &path);
