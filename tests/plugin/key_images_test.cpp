#include "plugin/key_images.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class ImageFiles : public ::testing::Test {
protected:
  TemporaryFolder temporary{"images"};
  std::string folder = temporary.Path();

  std::string Write(const std::string &name, const std::string &bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
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

// A named pipe: in the file system natively, under \\.\pipe\ on Windows.
TEST_F(ImageFiles, NamedPipeIsRefusedWithoutWaitingForAWriter) {
#ifdef _WIN32
  const std::string pipe = "\\\\.\\pipe\\" + temporary.Name();
  const std::wstring widePipe(pipe.begin(), pipe.end());
  const HANDLE server = ::CreateNamedPipeW(widePipe.c_str(), PIPE_ACCESS_DUPLEX,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LoadFileAsBase64(pipe), "");
  ::CloseHandle(server);
#else
  const std::string fifo = folder + "/pipe.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadFileAsBase64(fifo), "");
#endif
}

// The name is swapped between a regular file and a named pipe while images
// are read: whatever it names at the moment of opening, nothing waits. Should
// an open ever wait for a writer, the watchdog becomes that writer, so the
// test fails instead of hanging.
TEST_F(ImageFiles, PipeSwappedInUnderTheNameIsNeverWaitedFor) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no named pipe in the file system to swap in, and a symbolic link "
                  "needs a privilege that a test cannot count on";
#else
  Write("regular.png", "abc");
  const std::string fifo = folder + "/pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string path = folder + "/key.png";
  const std::string staged = folder + "/staged";

  std::atomic<bool> done{false};
  std::atomic<bool> rescued{false};
  std::thread swapper([&] {
    for (bool regular = true; !done; regular = !regular) {
      ::unlink(staged.c_str());
      if (::symlink(regular ? "regular.png" : "pipe", staged.c_str()) == 0) {
        ::rename(staged.c_str(), path.c_str());
      }
    }
  });
  std::thread watchdog([&] {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done) {
      if (std::chrono::steady_clock::now() > guard) {
        rescued = true;
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
          ::close(writer);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  for (int i = 0; i < 3000; ++i) {
    const std::string image = LoadFileAsBase64(path);
    EXPECT_TRUE(image.empty() || image == "YWJj") << image;
  }
  done = true;
  swapper.join();
  watchdog.join();
  EXPECT_FALSE(rescued) << "an image read waited for a writer of the pipe";
#endif
}

TEST_F(ImageFiles, FileOf4GiBIsNeverReadTruncated) {
  // A sparse file: it takes no disk space, but its size needs 33 bits.
  const std::string path = Write("huge.png", "");
  std::error_code error;
  std::filesystem::resize_file(path, (1ULL << 32) + 2, error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(LoadFileAsBase64(path), "");
  std::filesystem::resize_file(path, 1ULL << 32, error);
  ASSERT_FALSE(error) << error.message();
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
