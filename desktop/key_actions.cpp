#include "desktop/key_actions.h"

const KeyAction *FindKeyAction(std::string_view identifier) {
  for (const KeyAction &action : kKeyActions) {
    if (identifier == action.identifier) {
      return &action;
    }
  }
  return nullptr;
}

std::unique_ptr<const cCommand> MakeKeyCommand(const KeyAction &action,
                                               const Json::Value &settings) {
  switch (action.keyValue) {
  case KeyValue::None:
    return std::make_unique<cValuelessCommandOfKind>(action.keyCommand);
  case KeyValue::Integer:
    return std::make_unique<cIntegerCommandOfKind>(action.keyCommand, settings["value"].asInt());
  case KeyValue::Text:
    break;
  }
  std::string text = settings["value"].asString();
  if (text.empty()) {
    return nullptr;
  }
  return std::make_unique<cTextCommandOfKind>(action.keyCommand, std::move(text));
}

std::unique_ptr<const cCommand> MakeListRequest(const KeyAction &action) {
  if (!action.HasList()) {
    return nullptr;
  }
  return std::make_unique<cValuelessCommandOfKind>(action.listRequest);
}
