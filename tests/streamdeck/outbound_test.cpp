// The three outbound messages: exact text, exact members and JSON types, the
// data-URL prefix rule, and silence while there is no session.
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"

#include <gtest/gtest.h>

namespace {

class Outbound : public ::testing::Test {
protected:
  RecordingSession session;
  ESDPluginChannel channel{"uuid", &session, nullptr};

  Json::Value Last() { return session.Messages().back(); }
};

TEST_F(Outbound, SetImageIsWrittenInTheStyledForm) {
  channel.SetImage("iVBORw0KGgo=", "ctx");
  ASSERT_EQ(session.Texts().size(), 1u);
  EXPECT_EQ(session.Texts()[0], "{\n"
                                "   \"context\" : \"ctx\",\n"
                                "   \"event\" : \"setImage\",\n"
                                "   \"payload\" : {\n"
                                "      \"image\" : \"data:image/png;base64,iVBORw0KGgo=\",\n"
                                "      \"target\" : 0\n"
                                "   }\n"
                                "}\n");
}

TEST_F(Outbound, PngDataPrefixIsAddedOnlyWhenMissing) {
  const std::string prefix = "data:image/png;base64,";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"QUJD", prefix + "QUJD"},
      {prefix + "QUJD", prefix + "QUJD"},
      {"DATA:IMAGE/PNG;BASE64,QUJD", prefix + "DATA:IMAGE/PNG;BASE64,QUJD"},
      {"data:image/jpeg;base64,QUJD", prefix + "data:image/jpeg;base64,QUJD"},
      {"data:image/png;base64QUJD", prefix + "data:image/png;base64QUJD"},
  };
  for (const auto &[image, sent] : cases) {
    channel.SetImage(image, "ctx");
    const Json::Value message = Last();
    EXPECT_EQ(message["payload"]["image"].asString(), sent) << image;
    EXPECT_TRUE(message["payload"]["target"].isInt());
    EXPECT_EQ(message["payload"]["target"].asInt(), 0);
    EXPECT_FALSE(message.isMember("action"));
  }
}

TEST_F(Outbound, SetStateSendsAnInteger) {
  channel.SetState(-1, "ctx");
  EXPECT_EQ(session.Texts()[0], "{\n"
                                "   \"context\" : \"ctx\",\n"
                                "   \"event\" : \"setState\",\n"
                                "   \"payload\" : {\n"
                                "      \"state\" : -1\n"
                                "   }\n"
                                "}\n");
  channel.SetState(1, "");
  EXPECT_TRUE(Last()["payload"]["state"].isIntegral());
  EXPECT_FALSE(Last()["payload"]["state"].isBool());
  EXPECT_EQ(Last()["context"].asString(), "");
}

TEST_F(Outbound, SendToPropertyInspectorCopiesThePayload) {
  Json::Value payload;
  ParseJsonText(R"({"listType":"emote","itemList":["a","b"],"z":{"y":1}})", payload);
  channel.SendToPropertyInspector("com.brimcove.zorvaneplugin.emote", "ctx", payload);
  EXPECT_EQ(session.Texts()[0], "{\n"
                                "   \"action\" : \"com.brimcove.zorvaneplugin.emote\",\n"
                                "   \"context\" : \"ctx\",\n"
                                "   \"event\" : \"sendToPropertyInspector\",\n"
                                "   \"payload\" : {\n"
                                "      \"itemList\" : [ \"a\", \"b\" ],\n"
                                "      \"listType\" : \"emote\",\n"
                                "      \"z\" : {\n"
                                "         \"y\" : 1\n"
                                "      }\n"
                                "   }\n"
                                "}\n");
  channel.SendToPropertyInspector("a", "c", Json::Value());
  EXPECT_TRUE(Last().isMember("payload"));
  EXPECT_TRUE(Last()["payload"].isNull());
}

TEST(OutboundWithoutSession, SendsNothingAndReturns) {
  ESDPluginChannel channel("uuid", nullptr, nullptr);
  channel.SetImage("QUJD", "ctx");
  channel.SetState(1, "ctx");
  channel.SendToPropertyInspector("a", "ctx", Json::Value(Json::objectValue));
  RecordingSession session;
  channel.SetSession(&session);
  channel.SetState(1, "ctx");
  EXPECT_EQ(session.Texts().size(), 1u);
}

} // namespace
