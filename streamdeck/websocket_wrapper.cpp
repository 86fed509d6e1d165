#include "streamdeck/websocket_wrapper.h"

#include "streamdeck/json_text.h"
#include "streamdeck/plugin_channel.h"
#include "streamdeck/text_frame.h"

#include <exception>
#include <functional>
#include <random>
#include <utility>

ESDWebsocketWrapper::ESDWebsocketWrapper(int port, std::string pluginUUID,
                                         std::string registerEvent, ESDPluginChannel *channel)
    : mPort(port), mPluginUUID(std::move(pluginUUID)), mRegisterEvent(std::move(registerEvent)),
      mChannel(channel), mMaskingState(std::random_device()()) {}

void ESDWebsocketWrapper::Run() {
  using namespace std::placeholders;
  try {
    mClient.clear_access_channels(websocketpp::log::alevel::all);
    mClient.clear_error_channels(websocketpp::log::elevel::all);
    mClient.init_asio();
    mClient.set_open_handler(std::bind(&ESDWebsocketWrapper::OnOpen, this, &mClient, _1));
    mClient.set_fail_handler(std::bind(&ESDWebsocketWrapper::OnFail, this, &mClient, _1));
    mClient.set_close_handler(std::bind(&ESDWebsocketWrapper::OnClose, this, &mClient, _1));
    mClient.set_message_handler(std::bind(&ESDWebsocketWrapper::OnMessage, this, _1, _2));

    const std::string address = "ws://127.0.0.1:" + std::to_string(mPort);
    websocketpp::lib::error_code error;
    const Client::connection_ptr connection = mClient.get_connection(address, error);
    if (error) {
      return;
    }
    {
      const std::lock_guard<std::mutex> lock(mConnectionMutex);
      if (mClosing) {
        return;
      }
      mConnection = connection->get_handle();
    }
    mClient.connect(connection);
    mClient.run();
  } catch (const websocketpp::exception &) {
    // The library's own failures end the session like a closed connection.
  }
}

void ESDWebsocketWrapper::Send(std::string text) {
  // A text frame carries UTF-8 only: the host would close the connection on
  // anything else.
  if (!IsValidUtf8(text)) {
    return;
  }
  const Client::connection_ptr connection = CurrentConnection();
  if (!connection) {
    return;
  }
  const auto size = static_cast<std::int64_t>(text.size());
  const OutgoingMessage::ptr frame =
      PrepareTextFrame(std::move(text), NextMaskingKey(), [this, size] { OnFrameReleased(size); });
  mQueuedBytes += size;
  // A frame that cannot be queued (the connection is closing) is released at
  // once; nobody is told.
  static_cast<void>(connection->send(frame));
}

ESDWebsocketWrapper::Client::connection_ptr ESDWebsocketWrapper::CurrentConnection() {
  websocketpp::connection_hdl handle;
  {
    const std::lock_guard<std::mutex> lock(mConnectionMutex);
    handle = mConnection;
  }
  websocketpp::lib::error_code error;
  return mClient.get_con_from_hdl(handle, error);
}

// A fresh key for every frame, from any thread without a lock: a counter
// from a random start, scrambled (splitmix64).
std::uint32_t ESDWebsocketWrapper::NextMaskingKey() {
  std::uint64_t z = mMaskingState.fetch_add(0x9E3779B97F4A7C15u) + 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return static_cast<std::uint32_t>(z ^ (z >> 31));
}

// Runs wherever the library lets go of a frame: on the session worker after a
// write, or on the sending thread when the frame could not be queued.
void ESDWebsocketWrapper::OnFrameReleased(std::int64_t size) {
  const std::int64_t left = mQueuedBytes.fetch_sub(size) - size;
  if (left > kResumeReadingAt || !mReadingPaused.load()) {
    return;
  }
  try {
    asio::post(mClient.get_io_service(), [this] { ResumeReadingOnceDrained(); });
  } catch (const std::exception &) {
    // No memory for the handler: the next released frame tries again.
  }
}

// Called from the message handler, inside the library's read handler. The
// library's own pause_reading() would take effect only after that handler has
// already asked for the next read, and a resume that came before that read
// completed would start a second one on the same socket. Pausing here, on the
// spot, leaves no read outstanding, so the one resume starts the only read.
void ESDWebsocketWrapper::PauseReadingWhileBacklogged() {
  if (mReadingPaused.load() || mQueuedBytes.load() <= kPauseReadingAbove) {
    return;
  }
  mReadingPaused = true;
  // A frame released between the check and the flag found reading not paused
  // and asked for nothing: look again now that the flag is up.
  if (mQueuedBytes.load() <= kResumeReadingAt) {
    mReadingPaused = false;
    return;
  }
  if (const Client::connection_ptr connection = CurrentConnection()) {
    connection->handle_pause_reading();
  }
}

// A handler of its own on the session worker, never inside a read handler.
void ESDWebsocketWrapper::ResumeReadingOnceDrained() {
  if (!mReadingPaused.load() || mQueuedBytes.load() > kResumeReadingAt) {
    return;
  }
  mReadingPaused = false;
  while (!mDeferred.empty() && !mReadingPaused.load()) {
    const Client::message_ptr next = std::move(mDeferred.front());
    mDeferred.pop_front();
    Handle(next->get_payload());
  }
  if (mReadingPaused.load()) {
    return; // paused again: the next drain goes on from here
  }
  if (const Client::connection_ptr connection = CurrentConnection()) {
    connection->handle_resume_reading();
  }
}

void ESDWebsocketWrapper::Close() {
  websocketpp::connection_hdl connection;
  {
    const std::lock_guard<std::mutex> lock(mConnectionMutex);
    mClosing = true;
    connection = mConnection;
  }
  if (connection.expired()) {
    return; // Run has not connected, and now will not, or has already ended
  }
  websocketpp::lib::error_code error;
  mClient.close(connection, websocketpp::close::status::going_away, "", error);
  if (error) {
    // Not open (still connecting, or closing already): the event loop ends
    // without a closing handshake.
    mClient.stop();
  }
}

void ESDWebsocketWrapper::OnOpen(Client *, websocketpp::connection_hdl) {
  Json::Value registration(Json::objectValue);
  registration["event"] = mRegisterEvent;
  registration["uuid"] = mPluginUUID;
  Send(WriteStyledJson(registration));
}

// A failed or closed connection needs no action: the event loop runs out of
// work and Run returns, which ends the process.
void ESDWebsocketWrapper::OnFail(Client *, websocketpp::connection_hdl) {}

void ESDWebsocketWrapper::OnClose(Client *, websocketpp::connection_hdl) {}

void ESDWebsocketWrapper::OnMessage(websocketpp::connection_hdl, Client::message_ptr message) {
  if (!message || message->get_opcode() != websocketpp::frame::opcode::text) {
    return;
  }
  // Events that were already read when reading paused wait their turn: the
  // replies of a whole read buffer would overshoot the bound.
  if (mReadingPaused.load()) {
    mDeferred.push_back(std::move(message));
    return;
  }
  Handle(message->get_payload());
}

void ESDWebsocketWrapper::Handle(const std::string &event) {
  if (mChannel != nullptr) {
    mChannel->HandleMessage(event);
  }
  PauseReadingWhileBacklogged();
}
