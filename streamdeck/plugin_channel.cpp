#include "streamdeck/plugin_channel.h"

#include "streamdeck/base64.h"
#include "streamdeck/base_plugin.h"
#include "streamdeck/json_text.h"
#include "streamdeck/session.h"

#include <cstring>
#include <exception>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

// The envelope fields of one inbound message, each read only if its JSON type
// is the expected one; other types read as the empty string or null.
struct Envelope {
  std::string action;
  std::string context;
  std::string device;
  Json::Value payload;
  Json::Value deviceInfo;
  std::string application;
};

std::string StringMember(const Json::Value &object, const char *key) {
  if (!object.isObject()) {
    return std::string();
  }
  const Json::Value &value = object[key];
  return value.isString() ? value.asString() : std::string();
}

Json::Value ObjectMember(const Json::Value &object, const char *key) {
  if (!object.isObject()) {
    return Json::Value();
  }
  const Json::Value &value = object[key];
  return value.isObject() ? value : Json::Value();
}

using Route = void (*)(ESDBasePlugin &, const Envelope &);

const std::pair<const char *, Route> kRoutes[] = {
    {"keyDown", [](ESDBasePlugin &p,
                   const Envelope &e) { p.OnKeyDown(e.action, e.context, e.payload, e.device); }},
    {"keyUp", [](ESDBasePlugin &p,
                 const Envelope &e) { p.OnKeyUp(e.action, e.context, e.payload, e.device); }},
    {"willAppear",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnWillAppear(e.action, e.context, e.payload, e.device);
     }},
    {"willDisappear",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnWillDisappear(e.action, e.context, e.payload, e.device);
     }},
    {"propertyInspectorDidAppear",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnPropertyInspectorDidAppear(e.action, e.context, e.device);
     }},
    {"propertyInspectorDidDisappear",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnPropertyInspectorDidDisappear(e.action, e.context, e.device);
     }},
    {"deviceDidConnect",
     [](ESDBasePlugin &p, const Envelope &e) { p.OnDeviceDidConnect(e.device, e.deviceInfo); }},
    {"deviceDidDisconnect",
     [](ESDBasePlugin &p, const Envelope &e) { p.OnDeviceDidDisconnect(e.device); }},
    {"applicationDidLaunch",
     [](ESDBasePlugin &p, const Envelope &e) { p.OnApplicationDidLaunch(e.application); }},
    {"applicationDidTerminate",
     [](ESDBasePlugin &p, const Envelope &e) { p.OnApplicationDidTerminate(e.application); }},
    {"didReceiveSettings",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnDidReceiveSettings(e.action, e.context, e.payload, e.device);
     }},
    {"sendToPlugin",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnSendToPlugin(e.action, e.context, e.payload, e.device);
     }},
    {"dialDown", [](ESDBasePlugin &p,
                    const Envelope &e) { p.OnDialDown(e.action, e.context, e.payload, e.device); }},
    {"dialUp", [](ESDBasePlugin &p,
                  const Envelope &e) { p.OnDialUp(e.action, e.context, e.payload, e.device); }},
    {"dialRotate",
     [](ESDBasePlugin &p, const Envelope &e) {
       p.OnDialRotate(e.action, e.context, e.payload, e.device);
     }},
    {"touchTap", [](ESDBasePlugin &p,
                    const Envelope &e) { p.OnTouchTap(e.action, e.context, e.payload, e.device); }},
};

Route FindRoute(const std::string &event) {
  for (const auto &route : kRoutes) {
    if (event == route.first) {
      return route.second;
    }
  }
  return nullptr;
}

Envelope ReadEnvelope(const Json::Value &root, const std::string &event) {
  Envelope envelope;
  envelope.action = StringMember(root, "action");
  envelope.context = StringMember(root, "context");
  envelope.device = StringMember(root, "device");
  envelope.payload = ObjectMember(root, "payload");
  if (event == "deviceDidConnect") {
    envelope.deviceInfo = ObjectMember(root, "deviceInfo");
  }
  if (event == "applicationDidLaunch" || event == "applicationDidTerminate") {
    envelope.application = StringMember(envelope.payload, "application");
  }
  return envelope;
}

} // namespace

ESDPluginChannel::ESDPluginChannel(std::string pluginUUID, ESDSession *session,
                                   ESDBasePlugin *plugin)
    : mPluginUUID(std::move(pluginUUID)), mSession(session), mPlugin(plugin) {}

void ESDPluginChannel::HandleMessage(const std::string &text) {
  try {
    Dispatch(text);
  } catch (const std::exception &) {
    // Whatever the handling of one event throws (settings of the wrong JSON
    // type, no memory for a key image, a file system error), only that event
    // is lost: the session goes on with the next message.
  }
}

void ESDPluginChannel::Dispatch(const std::string &text) {
  if (text.empty()) {
    return;
  }
  Json::Value root;
  if (!mReader.Parse(text, root) || !(root.isObject() || root.isNull())) {
    return;
  }
  const std::string event = StringMember(root, "event");
  const Route route = FindRoute(event);
  if (route != nullptr) {
    route(*mPlugin, ReadEnvelope(root, event));
  }
}

namespace {

const char kPngDataPrefix[] = "data:image/png;base64,";

std::string WithPngDataPrefix(const std::string &image) {
  if (image.empty() || image.compare(0, sizeof kPngDataPrefix - 1, kPngDataPrefix) == 0) {
    return image;
  }
  return kPngDataPrefix + image;
}

// A setImage message laid out exactly as Json::StyledWriter writes it (its
// members in key order, three blanks of indentation), with the quoted image
// between `Head` and the tail. Building the text directly lets a key image be
// encoded once, straight into the text that goes out.
std::string SetImageHead(const std::string &context) {
  return "{\n   \"context\" : " + WriteJsonString(context) +
         ",\n   \"event\" : \"setImage\",\n   \"payload\" : {\n      \"image\" : ";
}

// {"event", "context", "payload"}: the form of every message about one instance.
Json::Value ContextMessage(const char *event, const std::string &context, Json::Value payload) {
  Json::Value message(Json::objectValue);
  message["event"] = event;
  message["context"] = context;
  message["payload"] = std::move(payload);
  return message;
}

const char kSetImageTail[] = ",\n      \"target\" : 0\n   }\n}\n";

} // namespace

void ESDPluginChannel::SetImage(const std::string &image, const std::string &context) {
  if (mSession != nullptr) {
    Send(SetImageHead(context) + WriteJsonString(WithPngDataPrefix(image)) + kSetImageTail);
  }
}

void ESDPluginChannel::SetImage(const unsigned char *png, std::size_t size,
                                const std::string &context) {
  if (mSession == nullptr) {
    return;
  }
  if (size == 0) {
    SetImage(std::string(), context);
    return;
  }
  // Base64 and the prefix need no escaping: the quoted image is the text
  // between two quotation marks.
  const std::string head = SetImageHead(context) + '"' + kPngDataPrefix;
  const std::size_t imageEnd = head.size() + Base64EncodedLength(size);
  std::string text;
  text.resize(imageEnd + 1 + sizeof kSetImageTail - 1);
  head.copy(text.data(), head.size());
  Base64EncodeInto(png, size, text.data() + head.size());
  text[imageEnd] = '"';
  std::memcpy(text.data() + imageEnd + 1, kSetImageTail, sizeof kSetImageTail - 1);
  Send(std::move(text));
}

void ESDPluginChannel::SetState(std::int32_t state, const std::string &context) {
  Json::Value payload(Json::objectValue);
  payload["state"] = state;
  SendForContext("setState", context, std::move(payload));
}

void ESDPluginChannel::SendToPropertyInspector(const std::string &action,
                                               const std::string &context,
                                               const Json::Value &payload) {
  Json::Value message(Json::objectValue);
  message["event"] = "sendToPropertyInspector";
  message["action"] = action;
  message["context"] = context;
  message["payload"] = payload;
  Send(message);
}

void ESDPluginChannel::SetFeedback(Json::Value payload, const std::string &context,
                                   const std::string &pngDataUrl) {
  if (mSession == nullptr) {
    return;
  }
  if (pngDataUrl.empty()) {
    SendForContext("setFeedback", context, std::move(payload));
    return;
  }
  // Written with an empty icon, which the data URL then fills. Every other
  // string in the text is quoted, so the payload's empty icon member is the
  // only place where these characters stand unescaped.
  payload["icon"] = "";
  std::string text = WriteStyledJson(ContextMessage("setFeedback", context, std::move(payload)));
  constexpr std::string_view kEmptyIcon = "\n      \"icon\" : \"\"";
  text.insert(text.find(kEmptyIcon) + kEmptyIcon.size() - 1, pngDataUrl);
  Send(std::move(text));
}

void ESDPluginChannel::SetSettings(Json::Value settings, const std::string &context) {
  SendForContext("setSettings", context, std::move(settings));
}

void ESDPluginChannel::SendForContext(const char *event, const std::string &context,
                                      Json::Value payload) {
  Send(ContextMessage(event, context, std::move(payload)));
}

void ESDPluginChannel::Send(const Json::Value &message) {
  if (mSession != nullptr) {
    Send(WriteStyledJson(message));
  }
}

void ESDPluginChannel::Send(std::string text) {
  if (mSession != nullptr) {
    mSession->Send(std::move(text));
  }
}
