// The contract of platform/platform.h, one test file for every platform: built
// natively and for Windows (run under Wine), each case in a process of its
// own. What only one platform does is tested in the other files of this
// folder: win32_*.cpp for Windows, the rest for POSIX.
#include "platform/platform.h"
#include "support/copy_data_record.h"
#include "tools/support/window_thread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return ::getpid();
#endif
}

// What a handler saw of one message, and the thread that handled it.
struct Received : CopyRecord {
  std::thread::id thread;
};

std::mutex gMutex; // guards gReceived and gSecondReceived
std::vector<Received> gReceived;
std::vector<Received> gSecondReceived;

Received MakeRecord(platform::WindowHandle sender, const platform::CopyData *data) {
  return Received{RecordCopy(sender, data), std::this_thread::get_id()};
}

// Records the message and answers 7.
std::intptr_t Record(platform::WindowHandle sender, const platform::CopyData *data) {
  const Received received = MakeRecord(sender, data);
  const std::lock_guard<std::mutex> lock(gMutex);
  gReceived.push_back(received);
  return 7;
}

// Records the message apart and answers 9.
std::intptr_t RecordSecond(platform::WindowHandle sender, const platform::CopyData *data) {
  const Received received = MakeRecord(sender, data);
  const std::lock_guard<std::mutex> lock(gMutex);
  gSecondReceived.push_back(received);
  return 9;
}

// Each case starts with no record. On POSIX it also gets a desktop link
// folder of its own, so that its titles never meet another process's.
class Contract : public ::testing::Test {
protected:
  void SetUp() override {
    const std::lock_guard<std::mutex> lock(gMutex);
    gReceived.clear();
    gSecondReceived.clear();
#ifndef _WIN32
    char folder[] = "/tmp/zorvane-contract-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    mFolder = folder;
    ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", folder, 1), 0);
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    const std::string command = "rm -rf '" + mFolder + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
#endif
  }
  static std::vector<Received> Taken() {
    const std::lock_guard<std::mutex> lock(gMutex);
    return gReceived;
  }
  static std::vector<Received> TakenBySecond() {
    const std::lock_guard<std::mutex> lock(gMutex);
    return gSecondReceived;
  }
  // Titles of this process only, so that test processes never meet.
  static std::string UniqueTitle(const char *what) {
    return "zorvane-test-" + std::to_string(ProcessId()) + "-" + what;
  }

private:
  std::string mFolder;
};

// ---------------------------------------------------------------- the loop

TEST_F(Contract, CloseRequestFromAnotherThreadEndsTheLoop) {
  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
  ASSERT_NE(cell.handle.load(), nullptr);
  std::thread closer([&cell] { platform::PostCloseRequest(cell.handle.load()); });
  platform::RunMessageLoop();
  closer.join();
}

TEST_F(Contract, CloseRequestForNoWindowIsIgnored) {
  platform::PostCloseRequest(nullptr);
  WindowThread window(UniqueTitle("gone"), Record);
  const platform::WindowHandle gone = window.Handle();
  window.Close();
  platform::PostCloseRequest(gone);
}

// ------------------------------------------------------ notification window

TEST_F(Contract, NotificationWindowCanBeCreatedAgainOnceTheLoopHasEnded) {
  for (int round = 0; round < 2; ++round) {
    platform::WindowHandleCell cell;
    ASSERT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
    platform::PostCloseRequest(cell.handle.load());
    platform::RunMessageLoop();
  }
}

TEST_F(Contract, SecondNotificationWindowFailsWhileTheFirstExists) {
  platform::WindowHandleCell first;
  ASSERT_EQ(platform::CreateNotificationWindow(first, Record), 0);
  const platform::WindowHandle window = first.handle.load();

  platform::WindowHandleCell second;
  EXPECT_EQ(platform::CreateNotificationWindow(second, RecordSecond), -1);
  EXPECT_EQ(second.handle.load(), nullptr);
  EXPECT_EQ(first.handle.load(), window);
  // The first still handles its messages with its own handler.
  std::intptr_t answer = -1;
  std::thread peer([&] {
    answer = platform::SendCopyData(window, nullptr, nullptr);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  peer.join();
  EXPECT_EQ(answer, 7);
  EXPECT_EQ(Taken().size(), 1u);
  EXPECT_TRUE(TakenBySecond().empty());
}

TEST_F(Contract, NotificationWindowIsNotTheDesktopWindow) {
  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, Record), 0);
  EXPECT_NE(platform::FindDesktopWindow(), cell.handle.load());
  platform::PostCloseRequest(cell.handle.load());
  platform::RunMessageLoop();
}

TEST_F(Contract, NotificationWindowWithoutHandlerRefusesEveryMessage) {
  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
  const platform::WindowHandle window = cell.handle.load();
  std::intptr_t withPayload = -1;
  std::intptr_t withoutStructure = -1;
  std::thread peer([&] {
    const platform::CopyData payload = Payload();
    withPayload = platform::SendCopyData(window, nullptr, &payload);
    withoutStructure = platform::SendCopyData(window, nullptr, nullptr);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  peer.join();
  EXPECT_EQ(withPayload, 0);
  EXPECT_EQ(withoutStructure, 0);
}

// ----------------------------------------------------------- titled windows

TEST_F(Contract, TitledWindowIsFoundByItsTitleUntilItCloses) {
  const std::string title = UniqueTitle("found");
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
  WindowThread window(title, Record);
  ASSERT_NE(window.Handle(), nullptr);
  EXPECT_EQ(platform::FindWindowByTitle(title), window.Handle());
  EXPECT_EQ(platform::FindWindowByTitle(UniqueTitle("absent")), nullptr);
  window.Close();
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
}

TEST_F(Contract, DesktopWindowIsTheOneTitledZorvanedesktop) {
  WindowThread window("ZORVANEDESKTOP", Record);
  ASSERT_NE(window.Handle(), nullptr);
  EXPECT_EQ(platform::FindDesktopWindow(), window.Handle());
  EXPECT_EQ(platform::FindWindowByTitle("ZORVANEDESKTOP"), window.Handle());
  const platform::WindowHandle gone = window.Handle();
  window.Close();
  EXPECT_NE(platform::FindDesktopWindow(), gone);
}

TEST_F(Contract, TitlesThatAreNotPlainNamesAreRefused) {
  EXPECT_EQ(platform::CreateTitledWindow("", Record), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("a/b", Record), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("..", Record), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow(".hidden", Record), nullptr);
}

// ----------------------------------------------------------- SendCopyData

TEST_F(Contract, MessageArrivesExactlyOnTheWindowsThreadAndItsResultReturns) {
  WindowThread receiver(UniqueTitle("receiver"), Record);
  WindowThread sender(UniqueTitle("sender"), RecordSecond);
  ASSERT_NE(receiver.Handle(), nullptr);
  const std::string text("{\"value1\":3}\n\0", 14);
  platform::CopyData data;
  data.kind = 0x80003;
  data.size = static_cast<std::uint32_t>(text.size());
  data.data = text.data();
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), sender.Handle(), &data), 7);

  const auto received = Taken();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].sender, sender.Handle());
  EXPECT_EQ(received[0].kind, 0x80003u);
  EXPECT_EQ(received[0].size, 14u);
  EXPECT_EQ(received[0].bytes, text);
  EXPECT_EQ(received[0].thread, receiver.ThreadId());
}

TEST_F(Contract, EmptyNullAndMissingDataKeepTheirDifference) {
  WindowThread receiver(UniqueTitle("receiver"), Record);
  platform::CopyData empty;
  empty.kind = 0x160000;
  empty.data = "";
  platform::CopyData nullData;
  nullData.kind = 0x160000;
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, &empty), 7);
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, &nullData), 7);
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, nullptr), 7);
  const auto received = Taken();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_TRUE(received[0].hasStructure);
  EXPECT_TRUE(received[0].hasBytes);
  EXPECT_EQ(received[0].size, 0u);
  EXPECT_TRUE(received[1].hasStructure);
  EXPECT_FALSE(received[1].hasBytes);
  EXPECT_FALSE(received[2].hasStructure);
  EXPECT_EQ(received[0].sender, nullptr);
}

// Windows of the calling thread handle the message within the call, with no
// loop running, each with its own handler.
TEST_F(Contract, EachTitledWindowHasItsOwnHandler) {
  const platform::WindowHandle first = platform::CreateTitledWindow(UniqueTitle("first"), Record);
  const platform::WindowHandle second =
      platform::CreateTitledWindow(UniqueTitle("second"), RecordSecond);
  const platform::WindowHandle silent =
      platform::CreateTitledWindow(UniqueTitle("silent"), nullptr);
  ASSERT_TRUE(first != nullptr && second != nullptr && silent != nullptr);

  const platform::CopyData payload = Payload();
  EXPECT_EQ(platform::SendCopyData(first, second, &payload), 7);
  EXPECT_EQ(platform::SendCopyData(second, first, nullptr), 9);
  EXPECT_EQ(platform::SendCopyData(silent, first, &payload), 0);

  const auto received = Taken();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].sender, second);
  EXPECT_EQ(received[0].thread, std::this_thread::get_id());
  ExpectPayload(received[0]);
  const auto secondReceived = TakenBySecond();
  ASSERT_EQ(secondReceived.size(), 1u);
  EXPECT_EQ(secondReceived[0].sender, first);
  EXPECT_FALSE(secondReceived[0].hasStructure);
}

TEST_F(Contract, SendingToNoWindowOrOneThatIsGoneAnswersZero) {
  const platform::CopyData payload = Payload();
  EXPECT_EQ(platform::SendCopyData(nullptr, nullptr, &payload), 0);
  platform::WindowHandle gone = nullptr;
  {
    WindowThread window(UniqueTitle("gone"), Record);
    gone = window.Handle();
  }
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(platform::SendCopyData(gone, nullptr, &payload), 0);
  EXPECT_TRUE(Taken().empty());
}

// ----------------------------------------------------------------- paths

TEST_F(Contract, ExecutablePathIsAbsoluteAndNamesThisProgram) {
  const std::string path = platform::GetExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find("platform_contract_tests"), std::string::npos);
  EXPECT_EQ(path.find('\0'), std::string::npos);
#ifdef _WIN32
  EXPECT_TRUE(path.size() > 3 && path[1] == ':' && path[2] == '\\') << path;
#else
  EXPECT_EQ(path.front(), '/');
#endif
  EXPECT_TRUE(std::ifstream(path, std::ios::binary).is_open());
}

TEST_F(Contract, PathBuiltWithBackslashesOpensTheFile) {
  const std::string name = UniqueTitle("path") + ".json";
  std::ofstream(name) << "{}";
  // The working folder's file, named the way the plug-in builds paths.
  const std::string built = ".\\" + name;
  EXPECT_TRUE(std::ifstream(platform::ToFileSystemPath(built)).is_open()) << built;
  std::remove(name.c_str());
#ifdef _WIN32
  EXPECT_EQ(platform::ToFileSystemPath("C:\\tools\\x.sdPlugin\\en.json"),
            "C:\\tools\\x.sdPlugin\\en.json");
  EXPECT_EQ(platform::ToFileSystemPath("b/c.json"), "b/c.json");
  EXPECT_TRUE(platform::ToFileSystemPath("").empty());
#else
  EXPECT_EQ(platform::ToFileSystemPath("a\\b\\c.json"), "a/b/c.json");
  EXPECT_EQ(platform::ToFileSystemPath("/x/y"), "/x/y");
#endif
}

// ------------------------------------------------------------ key image files

// A pipe with nobody at its other end that ever writes: opening it for
// reading in the usual way would wait. Removed when the case ends.
class UnwrittenPipe {
public:
  explicit UnwrittenPipe(const std::string &what) {
#ifdef _WIN32
    mPath = "\\\\.\\pipe\\" + what;
    const std::wstring wide(mPath.begin(), mPath.end());
    mServer = ::CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 2,
                                 4096, 4096, 0, nullptr);
#else
    mPath = "/tmp/" + what;
    ::unlink(mPath.c_str());
    mMade = ::mkfifo(mPath.c_str(), 0600) == 0;
#endif
  }
  ~UnwrittenPipe() {
#ifdef _WIN32
    ::CloseHandle(mServer);
#else
    ::unlink(mPath.c_str());
#endif
  }
  bool Made() const {
#ifdef _WIN32
    return mServer != INVALID_HANDLE_VALUE;
#else
    return mMade;
#endif
  }
  const std::string &Path() const { return mPath; }

private:
  std::string mPath;
#ifdef _WIN32
  HANDLE mServer = INVALID_HANDLE_VALUE;
#else
  bool mMade = false;
#endif
};

std::string ReadWhole(platform::RegularFile &file) {
  std::string bytes(static_cast<std::size_t>(file.Size()) + 16, '\0');
  std::size_t got = 0;
  while (const std::size_t more = file.Read(&bytes[got], bytes.size() - got)) {
    got += more;
  }
  bytes.resize(got);
  return bytes;
}

TEST_F(Contract, RegularFileOpensWithItsSizeAndReadsWhole) {
  // "bild-ä.png": names are UTF-8, as the Stream Deck application sends them.
  const std::string name = UniqueTitle("bild-\xc3\xa4") + ".png";
  const std::string bytes("\x89PNG\0rest", 9);
#ifdef _WIN32
  const std::wstring wide = L"zorvane-test-" + std::to_wstring(ProcessId()) + L"-bild-\u00e4.png";
  std::ofstream(wide.c_str(), std::ios::binary) << bytes;
#else
  std::ofstream(name, std::ios::binary) << bytes;
#endif
  {
    platform::RegularFile file(name);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 9u);
    EXPECT_EQ(ReadWhole(file), bytes);
  }
  std::remove(platform::ToFileSystemPath(name).c_str());
#ifdef _WIN32
  ::_wremove(wide.c_str());
#endif
}

TEST_F(Contract, PipeDeviceFolderAndMissingFileAreRefusedAtOnce) {
  const UnwrittenPipe pipe(UniqueTitle("pipe"));
  ASSERT_TRUE(pipe.Made());
  EXPECT_FALSE(platform::RegularFile(pipe.Path()).IsOpen());
#ifdef _WIN32
  EXPECT_FALSE(platform::RegularFile("NUL").IsOpen());
  EXPECT_FALSE(platform::RegularFile(".\\").IsOpen());
#else
  EXPECT_FALSE(platform::RegularFile("/dev/null").IsOpen());
  EXPECT_FALSE(platform::RegularFile("/tmp").IsOpen());
#endif
  EXPECT_FALSE(platform::RegularFile(UniqueTitle("missing") + ".png").IsOpen());
  EXPECT_FALSE(platform::RegularFile("").IsOpen());
}

} // namespace
