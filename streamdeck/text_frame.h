// Outgoing text frames, prepared by the plug-in instead of the WebSocket
// library: the message's text becomes the frame's payload and is masked in
// place, so it is never copied on its way to the socket.
#pragma once

#include <websocketpp/config/asio_no_tls_client.hpp>

#include <cstdint>
#include <functional>
#include <string>

using OutgoingMessage = websocketpp::config::asio_client::message_type;

// True when `text` may travel in a text frame: it is valid UTF-8.
bool IsValidUtf8(const std::string &text);

// One masked client text frame holding `text`, marked as prepared so that the
// library writes it as it is. `onReleased` runs once, when the library lets go
// of the frame: after it has been written, or when it is dropped unsent.
OutgoingMessage::ptr PrepareTextFrame(std::string text, std::uint32_t maskingKey,
                                      std::function<void()> onReleased);
