// The plug-in's one WebSocket client connection to the Stream Deck
// application on the loopback port: registers when it opens, hands every
// inbound text frame to the channel, and sends outbound text from any thread.
#pragma once

#include "streamdeck/session.h"

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

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
  void Send(const std::string &text) override;

  // Closes the connection ("going away") so that Run returns; a connection
  // that is not open yet is abandoned. Callable from any thread.
  void Close() override;

private:
  void OnOpen(Client *client, websocketpp::connection_hdl connection);
  void OnFail(Client *client, websocketpp::connection_hdl connection);
  void OnClose(Client *client, websocketpp::connection_hdl connection);
  void OnMessage(websocketpp::connection_hdl connection, Client::message_ptr message);

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
  Client mClient;
};
