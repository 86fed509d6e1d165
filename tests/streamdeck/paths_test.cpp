#include "streamdeck/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(JoinPath, OneBackslashBetweenFolderAndName) {
  EXPECT_EQ(JoinPath("C:\\a", "b.json"), "C:\\a\\b.json");
  EXPECT_EQ(JoinPath("C:\\a\\", "\\b.json"), "C:\\a\\b.json");
  EXPECT_EQ(JoinPath("C:\\a\\", "b.json"), "C:\\a\\b.json");
  EXPECT_EQ(JoinPath("C:\\a", "/b.json"), "C:\\a\\b.json");
  EXPECT_EQ(JoinPath("C:/a", "b.json"), "C:\\a\\b.json");
  EXPECT_EQ(JoinPath("/opt/x.sdPlugin", "en.json"), "\\opt\\x.sdPlugin\\en.json");
  EXPECT_EQ(JoinPath("", "b/c.json"), "b/c.json");
}

TEST(GetFileName, LastComponent) {
  EXPECT_EQ(GetFileName("C:\\a\\b\\"), "b");
  EXPECT_EQ(GetFileName("C:\\a\\b"), "b");
  EXPECT_EQ(GetFileName("C:\\"), "C:\\");
  EXPECT_EQ(GetFileName("file"), "file");
  EXPECT_EQ(GetFileName("/"), "/");
  EXPECT_EQ(GetFileName("/opt/x.sdPlugin/"), "x.sdPlugin");
}

TEST(GetParentPath, OneLevelUp) {
  EXPECT_EQ(GetParentPath("C:\\a\\b"), "C:\\a");
  EXPECT_EQ(GetParentPath("C:\\a"), "C:\\");
  EXPECT_EQ(GetParentPath("C:\\"), "C:\\");
  EXPECT_EQ(GetParentPath("C:"), "C:/");
  EXPECT_EQ(GetParentPath("/a"), "/");
  EXPECT_EQ(GetParentPath("/a/b/"), "/a");
  EXPECT_EQ(GetParentPath("a"), "");
  EXPECT_EQ(GetParentPath("a\\b\\\\"), "a");
  EXPECT_EQ(GetParentPath("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(GetParentPath("\\\\server\\share\\dir"), "\\\\server\\share");
}

TEST(IsShareRoot, ServerAndShareOnly) {
  EXPECT_TRUE(IsShareRoot("\\\\server"));
  EXPECT_TRUE(IsShareRoot("\\\\server\\share"));
  EXPECT_FALSE(IsShareRoot("\\\\server\\share\\folder"));
  EXPECT_FALSE(IsShareRoot("C:\\a"));
  EXPECT_FALSE(IsShareRoot(""));
  EXPECT_FALSE(IsShareRoot("\\server"));
}

TEST(FindPluginFolder, WalksUpToTheSdPluginFolder) {
  EXPECT_EQ(FindPluginFolder("D:\\tools\\x.sdPlugin\\bin\\plugin.exe"), "D:\\tools\\x.sdPlugin");
  EXPECT_EQ(FindPluginFolder("D:\\x.sdPlugin\\plugin.exe"), "D:\\x.sdPlugin");
  EXPECT_EQ(FindPluginFolder("D:\\a.b.sdPlugin\\plugin.exe"), "D:\\a.b.sdPlugin");
  EXPECT_EQ(FindPluginFolder("/opt/sd/x.sdPlugin/bin/zorvaneplugin"), "/opt/sd/x.sdPlugin");
  EXPECT_EQ(FindPluginFolder("\\\\server\\share\\x.sdPlugin\\p.exe"),
            "\\\\server\\share\\x.sdPlugin");
}

TEST(FindPluginFolder, StopsAtTheRootWhenThereIsNone) {
  EXPECT_EQ(FindPluginFolder("D:\\x.SDPLUGIN\\plugin.exe"), "");
  EXPECT_EQ(FindPluginFolder("D:\\x.sdPlugin.old\\plugin.exe"), "");
  EXPECT_EQ(FindPluginFolder("/usr/bin/zorvaneplugin"), "");
  EXPECT_EQ(FindPluginFolder("relative/dir/zorvaneplugin"), "");
  EXPECT_EQ(FindPluginFolder("\\\\server\\share\\p.exe"), "");
  EXPECT_EQ(FindPluginFolder(""), "");
}

} // namespace
