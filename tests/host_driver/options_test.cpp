#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(std::vector<const char *> argv, host_driver::Options &options) {
  argv.insert(argv.begin(), {"zorvane-host-driver", "bench"});
  std::string error;
  return host_driver::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(Options, ReadsCountsSecondsAndSizes) {
  host_driver::Options options;
  ASSERT_TRUE(Parse({"plugin", "--sequential", "0", "--pipelined", "500", "--stall-seconds", "0.5",
                     "--image-mib", "1,8", "--json", "out.json", "--turns", "0", "--dial-library",
                     "photos", "--strip-pictures", "small-png"},
                    options));
  EXPECT_EQ(options.pluginPath, "plugin");
  EXPECT_EQ(options.sequential, 0u);
  EXPECT_EQ(options.pipelined, 500u);
  EXPECT_EQ(options.stallSeconds, 0.5);
  EXPECT_EQ(options.imageMiB, (std::vector<std::size_t>{1, 8}));
  EXPECT_EQ(options.jsonPath, "out.json");
  EXPECT_EQ(options.presses, 1000u);
  EXPECT_EQ(options.turns, 0u);
  EXPECT_EQ(options.dialLibrary, "photos");
  EXPECT_EQ(options.stripPictures, host_driver::StripPictures::SmallPngFiles);
  ASSERT_TRUE(Parse({"plugin", "--strip-pictures", "fitted"}, options));
  EXPECT_EQ(options.stripPictures, host_driver::StripPictures::Fitted);
}

TEST(Options, NoImagesWithNone) {
  host_driver::Options options;
  ASSERT_TRUE(Parse({"plugin", "--image-mib", "none"}, options));
  EXPECT_TRUE(options.imageMiB.empty());
}

TEST(Options, MistakesAreRefused) {
  host_driver::Options options;
  EXPECT_FALSE(Parse({}, options));
  EXPECT_FALSE(Parse({"--sequential", "5"}, options));
  EXPECT_FALSE(Parse({"plugin", "--sequential"}, options));
  EXPECT_FALSE(Parse({"plugin", "--sequential", "-3"}, options));
  EXPECT_FALSE(Parse({"plugin", "--sequential", "ten"}, options));
  EXPECT_FALSE(Parse({"plugin", "--image-mib", "0"}, options));
  EXPECT_FALSE(Parse({"plugin", "--image-mib", "1,,2"}, options));
  EXPECT_FALSE(Parse({"plugin", "--hang-guard", "0"}, options));
  EXPECT_FALSE(Parse({"plugin", "--strip-pictures", "png"}, options));
  EXPECT_FALSE(Parse({"plugin", "--unknown", "1"}, options));
  EXPECT_FALSE(Parse({"plugin", "--seconds", "130"}, options)); // the soak command's
  const char *const otherCommand[] = {"zorvane-host-driver", "measure", "plugin"};
  std::string error;
  EXPECT_FALSE(host_driver::ParseOptions(3, otherCommand, options, error));
  EXPECT_EQ(error, "unknown command: measure");
}

} // namespace
