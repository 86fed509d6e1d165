#include "streamdeck/text_frame.h"

#include <websocketpp/frame.hpp>
#include <websocketpp/utf8_validator.hpp>

#include <cstring>
#include <utility>

namespace {

bool IsAscii(const std::string &text) {
  // Eight bytes at a time: the texts are JSON that the writer kept ASCII.
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    if ((word & kHighBits) != 0) {
      return false;
    }
  }
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0x80) != 0) {
      return false;
    }
  }
  return true;
}

} // namespace

bool IsValidUtf8(const std::string &text) {
  return IsAscii(text) || websocketpp::utf8_validator::validate(text);
}

OutgoingMessage::ptr PrepareTextFrame(std::string text, std::uint32_t maskingKey,
                                      std::function<void()> onReleased) {
  namespace frame = websocketpp::frame;
  const OutgoingMessage::ptr message(
      new OutgoingMessage(OutgoingMessage::con_msg_man_ptr(), frame::opcode::text, 0),
      [onReleased = std::move(onReleased)](OutgoingMessage *released) {
        delete released;
        onReleased();
      });
  std::string &payload = message->get_raw_payload();
  payload.swap(text);
  frame::masking_key_type key;
  key.i = maskingKey;
  frame::word_mask_exact(reinterpret_cast<std::uint8_t *>(payload.data()), payload.size(), key);
  message->set_header(
      frame::prepare_header(frame::basic_header(frame::opcode::text, payload.size(), true, true),
                            frame::extended_header(payload.size(), key.i)));
  message->set_prepared(true);
  return message;
}
