// Text frames that the plug-in prepares itself must be exactly what a
// WebSocket server reads back as the same text message (checked with the
// library's own server-side parser), and must never carry anything but UTF-8.
#include "streamdeck/text_frame.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/processors/hybi13.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using ServerConfig = websocketpp::config::asio;
using ServerProcessor = websocketpp::processor::hybi13<ServerConfig>;

// What a server makes of the bytes that go on the wire for `frame`: the text
// of the one complete message, or an error.
std::string ReadBack(const OutgoingMessage::ptr &frame) {
  ServerConfig::rng_type rng;
  ServerProcessor server(false, true, std::make_shared<ServerConfig::con_msg_manager_type>(), rng);
  std::string wire = frame->get_header() + frame->get_payload();
  websocketpp::lib::error_code error;
  const std::size_t consumed =
      server.consume(reinterpret_cast<std::uint8_t *>(wire.data()), wire.size(), error);
  if (error || consumed != wire.size() || !server.ready()) {
    return "<not one complete message: " + error.message() + ">";
  }
  const auto message = server.get_message();
  if (message->get_opcode() != websocketpp::frame::opcode::text) {
    return "<not a text message>";
  }
  return message->get_payload();
}

TEST(TextFrame, ServerReadsBackTheSameTextAtEveryLengthEncoding) {
  // 125, 126 and 65535, 65536 are where the length takes 7, 16 and 64 bits.
  for (const std::size_t size : {0, 1, 7, 8, 9, 125, 126, 127, 65535, 65536, 100003}) {
    std::string text;
    while (text.size() < size) {
      text += text.size() % 97 == 0 ? "\xc3\xa9" : "{\"k\" : 1}";
    }
    text.resize(size); // may cut the last é: then it is not UTF-8, but framing does not look
    for (const std::uint32_t key : {0u, 1u, 0x80000001u, 0xFFFFFFFFu, 0x5A17C3E9u}) {
      const std::string expected = IsValidUtf8(text) ? text : "<not one complete message";
      const std::string read = ReadBack(PrepareTextFrame(text, key, [] {}));
      EXPECT_EQ(read.substr(0, expected.size()), expected) << "size " << size << " key " << key;
    }
  }
}

TEST(TextFrame, PayloadIsMaskedAndHeaderSaysSo) {
  const OutgoingMessage::ptr frame = PrepareTextFrame("abcd", 0x01020304u, [] {});
  EXPECT_TRUE(frame->get_prepared());
  const std::string header = frame->get_header();
  ASSERT_EQ(header.size(), 6u);                            // two bytes, then the four of the key
  EXPECT_EQ(static_cast<unsigned char>(header[0]), 0x81u); // FIN, text
  EXPECT_EQ(static_cast<unsigned char>(header[1]), 0x84u); // masked, four bytes
  EXPECT_NE(frame->get_payload(), "abcd");
}

TEST(TextFrame, ReleasedExactlyOnceWhenTheLastHolderLetsGo) {
  int released = 0;
  OutgoingMessage::ptr frame = PrepareTextFrame("text", 7, [&released] { ++released; });
  OutgoingMessage::ptr queued = frame;
  frame.reset();
  EXPECT_EQ(released, 0);
  queued.reset();
  EXPECT_EQ(released, 1);
}

TEST(TextFrame, OnlyUtf8MayTravel) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("{\n   \"context\" : \"x\"\n}\n"));
  EXPECT_TRUE(IsValidUtf8("\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xff"));
  EXPECT_FALSE(IsValidUtf8("cut \xe2\x82"));
  EXPECT_FALSE(IsValidUtf8("overlong \xc0\xaf"));
  EXPECT_FALSE(IsValidUtf8("surrogate \xed\xa0\x80"));
  // A stray byte after long runs of ASCII, where the check goes word by word.
  for (const std::size_t at : {0, 7, 8, 15, 4096, 4101}) {
    std::string text(4103, 'a');
    text[at] = '\x80';
    EXPECT_FALSE(IsValidUtf8(text)) << at;
  }
}

} // namespace
