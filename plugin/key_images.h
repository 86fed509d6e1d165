// Showing an image file on a key: the file is read whole, encoded in Base64
// and sent as the key's image.
#pragma once

#include <cstdint>
#include <string>

class ESDPluginChannel;

// RFC 4648 Base64, standard alphabet, with padding and without line breaks.
std::string Base64Encode(const unsigned char *bytes, std::uint32_t length);

// The file's whole content in Base64; empty when the file cannot be opened,
// is empty, is not a regular file, is 4 GiB or larger, or cannot be read in full.
std::string LoadFileAsBase64(const std::string &path);

// Sends the file as the key's image; an unreadable file sends the empty image.
// Does nothing for an empty context or path, or without a channel.
void SetKeyImageFromFile(ESDPluginChannel *channel, const std::string &context,
                         const std::string &path);
