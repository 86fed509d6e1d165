// The outbound messages: exact text, exact members and JSON types, the
// data-URL prefix rule, and silence while there is no session.
#include "streamdeck/base64.h"
#include "streamdeck/json_text.h"
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

// The setImage text is built directly, with the image encoded straight into
// it; it must stay byte for byte what the JSON library's styled writer makes
// of the same document, whatever the context holds and whatever the size.
TEST_F(Outbound, SetImageTextIsExactlyWhatTheStyledWriterWrites) {
  const std::vector<std::string> contexts = {
      "",
      "8F3C2A",
      "quote\" back\\slash / solidus",
      std::string("controls \x01\x08\t\n\x0c\r\x1f\x7f end"),
      std::string("embedded\0nul", 12),
      "UTF-8 \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
      "broken \xff\xc3( \xe2\x82 \xed\xa0\x80",
      std::string(300, 'x'),
  };
  std::string bytes;
  for (std::size_t size : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 57, 1000, 12800, 65537}) {
    while (bytes.size() < size) {
      bytes += static_cast<char>((bytes.size() * 167 + 13) & 0xFF);
    }
    const auto *png = reinterpret_cast<const unsigned char *>(bytes.data());
    for (const std::string &context : contexts) {
      session.Clear();
      channel.SetImage(png, size, context);
      const std::string base64 = Base64Encode(png, static_cast<std::uint32_t>(size));
      channel.SetImage(base64, context);
      Json::Value document(Json::objectValue);
      document["event"] = "setImage";
      document["context"] = context;
      document["payload"]["image"] = size == 0 ? "" : "data:image/png;base64," + base64;
      document["payload"]["target"] = 0;
      const std::string expected = WriteStyledJson(document);
      ASSERT_EQ(session.Texts().size(), 2u);
      EXPECT_EQ(session.Texts()[0], expected) << "size " << size << ", context " << context;
      EXPECT_EQ(session.Texts()[1], expected) << "size " << size << ", context " << context;
    }
  }
}

TEST_F(Outbound, SetImageTextOfAnyImageStringIsWhatTheStyledWriterWrites) {
  for (const std::string &image :
       {std::string("QUJD"), std::string("not \"base64\"\n\x01"), std::string("\xff\xfe")}) {
    session.Clear();
    channel.SetImage(image, "ctx");
    Json::Value document(Json::objectValue);
    document["event"] = "setImage";
    document["context"] = "ctx";
    document["payload"]["image"] = "data:image/png;base64," + image;
    document["payload"]["target"] = 0;
    EXPECT_EQ(session.Texts().at(0), WriteStyledJson(document));
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

TEST_F(Outbound, FeedbackAndSettingsCarryTheirPayloadWhole) {
  Json::Value feedback;
  ParseJsonText(
      R"({"title":"Change Avatar","value":"Fox \"2\"","icon":"data:image/png;base64,QUJD"})",
      feedback);
  channel.SetFeedback(feedback, "enc");
  EXPECT_EQ(session.Texts().at(0), "{\n"
                                   "   \"context\" : \"enc\",\n"
                                   "   \"event\" : \"setFeedback\",\n"
                                   "   \"payload\" : {\n"
                                   "      \"icon\" : \"data:image/png;base64,QUJD\",\n"
                                   "      \"title\" : \"Change Avatar\",\n"
                                   "      \"value\" : \"Fox \\\"2\\\"\"\n"
                                   "   }\n"
                                   "}\n");
  Json::Value settings;
  ParseJsonText(R"({"value":7,"image":"C:\\k.png","other":{"x":[1]}})", settings);
  channel.SetSettings(settings, "enc");
  EXPECT_EQ(session.Texts().at(1), "{\n"
                                   "   \"context\" : \"enc\",\n"
                                   "   \"event\" : \"setSettings\",\n"
                                   "   \"payload\" : {\n"
                                   "      \"image\" : \"C:\\\\k.png\",\n"
                                   "      \"other\" : {\n"
                                   "         \"x\" : [ 1 ]\n"
                                   "      },\n"
                                   "      \"value\" : 7\n"
                                   "   }\n"
                                   "}\n");
  EXPECT_EQ(Last()["payload"], settings);
  EXPECT_FALSE(Last().isMember("action"));
}

// A picture handed in apart is copied into the text where the styled writer
// would have quoted it, whatever the other strings hold.
TEST_F(Outbound, FeedbackWithAPictureIsExactlyWhatTheStyledWriterWrites) {
  const std::string picture = "data:image/png;base64,iVBORw0KGgo+/AAA=";
  const std::vector<std::string> texts = {
      "",
      "Fox",
      R"(x"icon" : "")",
      "\n      \"icon\" : \"\"",
      std::string("controls \x01\n\t end"),
      "UTF-8 \xc3\xa9 \xf0\x9f\x98\x80",
  };
  for (const std::string &text : texts) {
    for (const std::string &context : {std::string("enc"), text}) {
      SCOPED_TRACE(text + " / " + context);
      Json::Value feedback(Json::objectValue);
      feedback["value"] = text;
      feedback["title"] = text;
      feedback["indicator"] = 50;
      session.Clear();
      channel.SetFeedback(feedback, context, picture);
      Json::Value document(Json::objectValue);
      document["event"] = "setFeedback";
      document["context"] = context;
      document["payload"] = feedback;
      document["payload"]["icon"] = picture;
      EXPECT_EQ(session.Texts().at(0), WriteStyledJson(document));
    }
  }
}

TEST(OutboundWithoutSession, SendsNothingAndReturns) {
  ESDPluginChannel channel("uuid", nullptr, nullptr);
  channel.SetImage("QUJD", "ctx");
  channel.SetState(1, "ctx");
  channel.SendToPropertyInspector("a", "ctx", Json::Value(Json::objectValue));
  channel.SetFeedback(Json::Value(Json::objectValue), "ctx");
  channel.SetSettings(Json::Value(Json::objectValue), "ctx");
  RecordingSession session;
  channel.SetSession(&session);
  channel.SetState(1, "ctx");
  EXPECT_EQ(session.Texts().size(), 1u);
}

} // namespace
