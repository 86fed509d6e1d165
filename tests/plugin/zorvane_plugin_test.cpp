// The Stream Deck events keep the record of visible keys up to date; an event
// whose payload cannot be read is dropped and leaves the record consistent.
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kQuickslot = "com.brimcove.zorvaneplugin.quickslot";

class PluginEvents : public ::testing::Test {
protected:
  cZorvanePlugin plugin;
  ESDPluginChannel channel{"uuid", nullptr, &plugin};

  void Send(const std::string &event, const std::string &context, const std::string &payload) {
    channel.HandleMessage(R"({"event":")" + event + R"(","action":")" + kQuickslot +
                          R"(","context":")" + context + R"(","payload":)" + payload + "}");
  }
};

TEST_F(PluginEvents, KeysComeAndGoWithTheirSettingsAndInspectors) {
  Send("willAppear", "k1", R"({"coordinates":{"row":2,"column":3},"settings":{"value":"1"}})");
  Send("propertyInspectorDidAppear", "k1", "{}");
  Send("didReceiveSettings", "k1", R"({"settings":{"value":"2","image":"a.png"}})");
  cContextRecord stored = plugin.Store().Find("k1", kQuickslot);
  EXPECT_EQ(stored.row, 2);
  EXPECT_EQ(stored.column, 3);
  EXPECT_EQ(stored.settings["value"].asString(), "2");
  EXPECT_EQ(stored.inspectorCount, 1);

  Send("propertyInspectorDidDisappear", "k1", "{}");
  EXPECT_EQ(plugin.Store().Find("k1", kQuickslot).inspectorCount, 0);
  Send("willDisappear", "k1", "{}");
  EXPECT_TRUE(plugin.Store().GetByAction(kQuickslot).empty());
}

TEST_F(PluginEvents, EventsThatChangeNothing) {
  Send("willAppear", "k1", R"({"settings":{"value":"1"}})");
  for (const std::string event :
       {"keyDown", "keyUp", "sendToPlugin", "deviceDidConnect", "deviceDidDisconnect",
        "applicationDidLaunch", "applicationDidTerminate"}) {
    Send(event, "k1", R"({"settings":{"value":"9"},"application":"Zorvane.exe"})");
  }
  const cContextRecord stored = plugin.Store().Find("k1", kQuickslot);
  EXPECT_EQ(stored.settings["value"].asString(), "1");
  EXPECT_EQ(stored.inspectorCount, 0);
}

TEST_F(PluginEvents, UnreadablePayloadIsDroppedAndTheNextEventIsHandled) {
  Send("willAppear", "bad", R"({"coordinates":"top left"})");
  Send("willAppear", "bad2", R"({"coordinates":{"row":"1"}})");
  EXPECT_TRUE(plugin.Store().GetByAction(kQuickslot).empty());
  Send("willAppear", "good", R"({"settings":{"value":"1"}})");
  EXPECT_EQ(plugin.Store().GetByAction(kQuickslot).size(), 1u);
}

} // namespace
