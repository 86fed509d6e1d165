#include "plugin/key_images.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string Encode(const std::string &bytes) {
  return Base64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
}

TEST(Base64, KnownVectors) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode(std::string("\xff\xfe\x00\x80", 4)), "//4AgA==");
  EXPECT_EQ(Encode(std::string("\xfb\xff", 2)), "+/8=");
}

TEST(Base64, LongInputHasNoLineBreaks) {
  const std::string encoded = Encode(std::string(3000, 'x'));
  EXPECT_EQ(encoded.size(), 4000u);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
}

class ImageFiles : public ::testing::Test {
protected:
  std::string folder;
  std::vector<std::string> files;

  void SetUp() override {
    char pattern[] = "/tmp/zorvane-images-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    for (const std::string &file : files) {
      std::remove(file.c_str());
    }
    ::rmdir(folder.c_str());
  }
  std::string Write(const std::string &name, const std::string &bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    files.push_back(path);
    return path;
  }
};

TEST_F(ImageFiles, WholeFileIsEncoded) {
  EXPECT_EQ(LoadFileAsBase64(Write("one.png", "a")), "YQ==");
  EXPECT_EQ(LoadFileAsBase64(Write("two.png", "ab")), "YWI=");
  EXPECT_EQ(LoadFileAsBase64(Write("three.png", "abc")), "YWJj");
  EXPECT_EQ(LoadFileAsBase64(Write("binary.png", std::string("\x89PNG\r\n\x1a\n\0", 9))),
            "iVBORw0KGgoA");
}

TEST_F(ImageFiles, UnreadableFilesGiveTheEmptyText) {
  EXPECT_EQ(LoadFileAsBase64(Write("empty.png", "")), "");
  EXPECT_EQ(LoadFileAsBase64(folder + "/missing.png"), "");
  EXPECT_EQ(LoadFileAsBase64(folder), "");
  EXPECT_EQ(LoadFileAsBase64(""), "");
}

TEST_F(ImageFiles, FileOf4GiBIsNeverReadTruncated) {
  // A sparse file: it takes no disk space, but its size needs 33 bits.
  const std::string path = Write("huge.png", "");
  ASSERT_EQ(::truncate(path.c_str(), (1LL << 32) + 2), 0);
  EXPECT_EQ(LoadFileAsBase64(path), "");
  ASSERT_EQ(::truncate(path.c_str(), 1LL << 32), 0);
  EXPECT_EQ(LoadFileAsBase64(path), "");
}

TEST_F(ImageFiles, SetKeyImageSendsTheFileOrAnEmptyImage) {
  RecordingSession session;
  ESDPluginChannel channel("uuid", &session, nullptr);
  SetKeyImageFromFile(&channel, "ctx", Write("key.png", "abc"));
  SetKeyImageFromFile(&channel, "ctx", folder + "/missing.png");
  SetKeyImageFromFile(&channel, "ctx", "");
  SetKeyImageFromFile(&channel, "", Write("key2.png", "abc"));
  const auto messages = session.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]["payload"]["image"].asString(), "data:image/png;base64,YWJj");
  EXPECT_EQ(messages[1]["payload"]["image"].asString(), "");
  EXPECT_EQ(messages[1]["context"].asString(), "ctx");
}

} // namespace
