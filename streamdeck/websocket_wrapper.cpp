#include "streamdeck/websocket_wrapper.h"

#include "streamdeck/json_text.h"
#include "streamdeck/plugin_channel.h"

#include <functional>
#include <utility>

ESDWebsocketWrapper::ESDWebsocketWrapper(int port, std::string pluginUUID,
                                         std::string registerEvent, ESDPluginChannel *channel)
    : mPort(port), mPluginUUID(std::move(pluginUUID)), mRegisterEvent(std::move(registerEvent)),
      mChannel(channel) {}

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

void ESDWebsocketWrapper::Send(const std::string &text) {
  websocketpp::connection_hdl connection;
  {
    const std::lock_guard<std::mutex> lock(mConnectionMutex);
    connection = mConnection;
  }
  websocketpp::lib::error_code error;
  mClient.send(connection, text, websocketpp::frame::opcode::text, error);
  // A send without an open connection is dropped; nobody is told.
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
  if (mChannel != nullptr) {
    mChannel->HandleMessage(message->get_payload());
  }
}
