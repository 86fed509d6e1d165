// The plug-in's one WebSocket client connection to the Stream Deck
// application on the loopback port: registers when it opens, hands every
// inbound text frame to the channel, and sends outbound text from any thread.
//
// Flow control: every outgoing frame is counted from the moment it is queued
// until the library lets go of it. While more than a few MiB wait, no more
// events are read from the host, so a host that reads slowly, or not at all,
// cannot make the plug-in hold an unbounded number of replies. Reading resumes
// once they have drained. Nothing is dropped and the order stays; senders on
// other threads never wait.
#pragma once

#include "streamdeck/session.h"

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class ESDPluginChannel;

class ESDWebsocketWrapper : public ESDSession {
public:
  using Client = websocketpp::client<websocketpp::config::asio_client>;

  ESDWebsocketWrapper(int port, std::string pluginUUID, std::string registerEvent,
                      ESDPluginChannel *channel);

  // Connects and runs the client's event loop on the calling thread until the
  // connection has failed or closed. There is no reconnection.
  void Run() override;

  // Sends one text frame on the current connection; dropped silently when
  // there is none. Callable from any thread.
  void Send(std::string text) override;

  // Reading from the host stops while more than this many bytes of frames
  // wait to be written, and resumes once no more than kResumeReadingAt wait.
  static constexpr std::int64_t kPauseReadingAbove = 4 << 20;
  static constexpr std::int64_t kResumeReadingAt = 1 << 20;

  // Closes the connection ("going away") so that Run returns; a connection
  // that is not open yet is abandoned. Callable from any thread.
  void Close() override;

private:
  void OnOpen(Client *client, websocketpp::connection_hdl connection);
  void OnFail(Client *client, websocketpp::connection_hdl connection);
  void OnClose(Client *client, websocketpp::connection_hdl connection);
  void OnMessage(websocketpp::connection_hdl connection, Client::message_ptr message);
  void Handle(const std::string &event);

  Client::connection_ptr CurrentConnection();
  std::uint32_t NextMaskingKey();
  void OnFrameReleased(std::int64_t size);
  // These two run on the session worker only.
  void PauseReadingWhileBacklogged();
  void ResumeReadingOnceDrained();

  int mPort;
  std::string mPluginUUID;
  std::string mRegisterEvent;
  ESDPluginChannel *mChannel;
  // Guards mConnection and mClosing: Run writes the handle on the session
  // worker while the main thread may already send or close. Held only to copy
  // or set them, never while sending or closing.
  std::mutex mConnectionMutex;
  websocketpp::connection_hdl mConnection;
  bool mClosing = false;
  // Bytes of frames queued and not yet released by the library. Signed, so
  // that no mistake in the count can leave reading paused for good.
  std::atomic<std::int64_t> mQueuedBytes{0};
  std::atomic<bool> mReadingPaused{false};
  // Events read before reading paused, handled first when it resumes. Touched
  // on the session worker only.
  std::deque<Client::message_ptr> mDeferred;
  std::atomic<std::uint64_t> mMaskingState;
  // Destroyed first: frames that die with it still find the members above.
  Client mClient;
};
