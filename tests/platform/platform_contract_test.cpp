// The contract of platform/platform.h, one test file for every platform: built
// natively and for Windows (run under Wine), each case in a process of its
// own. What only one platform does is tested in the other files of this
// folder: win32_*.cpp for Windows, the rest for POSIX.
#include "platform/platform.h"
#include "support/copy_data_record.h"
#include "support/temporary_folder.h"
#include "tools/support/window_thread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <wincodec.h>
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

// ------------------------------------------------------------ strip pictures

struct Rgba {
  int red, green, blue, alpha;
};

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kGrey{128, 128, 128, 255};
constexpr Rgba kClear{0, 0, 0, 0};

// A file of tests/platform/pictures/ (make_pictures.py says what each holds),
// made into a strip picture fitting `box`: refused, or a PNG of the size
// given, with the colours given a quarter and three quarters across its
// middle row, each channel within `tolerance`.
struct PictureCase {
  const char *file;
  int box;
  bool made;
  int width = 0;
  int height = 0;
  Rgba left{};
  Rgba right{};
  int tolerance = 0;
};

#ifdef _WIN32
// Whether the system has a WebP decoder: Windows 10 and 11 usually do, Wine
// 8 does not.
bool ReadsWebP() {
  const HRESULT entered = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IWICImagingFactory *factory = nullptr;
  IWICBitmapDecoder *decoder = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory)))) {
    factory->CreateDecoder(GUID_ContainerFormatWebp, nullptr, &decoder);
    factory->Release();
  }
  const bool reads = decoder != nullptr;
  if (reads) {
    decoder->Release();
  }
  if (SUCCEEDED(entered)) {
    ::CoUninitialize();
  }
  return reads;
}
constexpr bool kReadsBmp = true;
// The system's decoder may hold a whole frame, which must then fit the bound.
constexpr bool kStreamsLargeFrames = false;
#else
bool ReadsWebP() { return true; }
constexpr bool kReadsBmp = false; // no BMP decoder on POSIX
constexpr bool kStreamsLargeFrames = true;
#endif
constexpr int kLossy = 32;

std::vector<PictureCase> PictureCases() {
  const bool webp = ReadsWebP();
  return {
      {"png_rgb.png", 48, true, 48, 24, kRed, kBlue},
      {"png_rgb.png", 96, true, 96, 48, kRed, kBlue},
      {"png_rgb.png", 1, true, 1, 1, {128, 0, 128, 255}, {128, 0, 128, 255}, 1},
      {"png_rgb.png", 0, false},
      {"png_rgb.png", 97, false},
      {"png_palette_transparent.png", 48, true, 24, 48, kRed, kClear},
      {"png_grey_1bit.png", 48, true, 48, 48, kBlack, kWhite},
      {"png_rgba_16bit.png", 16, true, 16, 8, kRed, {0, 0, 255, 128}, 1},
      {"png_interlaced.png", 48, true, 24, 48, kRed, kBlue},
      {"png_stripes.png", 48, true, 48, 24, kGrey, kGrey, 12},
      {"png_small.png", 48, true, 16, 8, kRed, kBlue},
      {"png_8192_wide.png", 48, true, 48, 1, kRed, kBlue},
      {"png_8193_wide.png", 48, false},
      {"png_claims_60000.png", 48, false},
      {"png_8192x1536_1bit.png", 48, kStreamsLargeFrames, 48, 9, kWhite, kWhite},
      {"jpeg_baseline.jpg", 48, true, 48, 24, kRed, kBlue, kLossy},
      {"jpeg_progressive.jpg", 48, true, 24, 48, kRed, kBlue, kLossy},
      {"jpeg_cmyk.jpg", 48, true, 48, 24, kRed, kBlue, kLossy},
      {"jpeg_grey.jpg", 32, true, 32, 16, kBlack, kWhite, kLossy},
      {"jpeg_named.png", 48, true, 48, 24, kBlack, kWhite, kLossy},
      {"jpeg_8193_wide.jpg", 48, false},
      {"gif_animated.gif", 48, true, 48, 24, kRed, kBlue},
      {"gif_interlaced_transparent.gif", 20, true, 10, 20, kRed, kClear},
      {"gif_8193_wide.gif", 48, false},
      {"bmp_24bit.bmp", 8, kReadsBmp, 8, 4, kRed, kBlue},
      {"webp_lossy.webp", 48, webp, 48, 24, kRed, kBlue, kLossy},
      {"webp_lossless_alpha.webp", 48, webp, 24, 48, kRed, kClear},
      {"truncated.png", 48, false},
      {"truncated.jpg", 48, false},
      {"truncated.gif", 48, false},
      {"truncated.webp", 48, false},
      {"corrupt.png", 48, false},
      {"corrupt.jpg", 48, false},
      {"text.png", 48, false},
      {"empty.png", 48, false},
      {"no_such_file.png", 48, false},
      {"", 48, false}, // the folder itself
  };
}

std::string PicturePath(const std::string &file) {
  return std::string(ZORVANE_TEST_PICTURES) + "/" + file;
}

Rgba PixelAt(const platform::Picture &picture, int x, int y) {
  const std::uint8_t *pixel = &picture.rgba[(static_cast<std::size_t>(y) * picture.width + x) * 4];
  return Rgba{pixel[0], pixel[1], pixel[2], pixel[3]};
}

void ExpectColour(const Rgba &seen, const Rgba &expected, int tolerance, const char *where) {
  SCOPED_TRACE(where);
  EXPECT_NEAR(seen.red, expected.red, tolerance);
  EXPECT_NEAR(seen.green, expected.green, tolerance);
  EXPECT_NEAR(seen.blue, expected.blue, tolerance);
  EXPECT_NEAR(seen.alpha, expected.alpha, tolerance);
}

// The strip picture is a PNG; read back at its own size, it has the case's
// size and colours.
void ExpectStripPicture(const std::string &png, const PictureCase &expected) {
  ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  platform::Picture picture;
  ASSERT_TRUE(platform::DecodePictureToFit(png, platform::kMaxStripPictureBox, picture));
  ASSERT_EQ(picture.width, expected.width);
  ASSERT_EQ(picture.height, expected.height);
  const int middle = picture.height / 2;
  ExpectColour(PixelAt(picture, picture.width / 4, middle), expected.left, expected.tolerance,
               "left");
  ExpectColour(PixelAt(picture, picture.width * 3 / 4, middle), expected.right, expected.tolerance,
               "right");
}

TEST_F(Contract, StripPicturesAreMadeFromEveryFormatOrRefused) {
  for (const PictureCase &expected : PictureCases()) {
    SCOPED_TRACE(std::string(expected.file) + " in a box of " + std::to_string(expected.box));
    const std::string png = platform::MakeStripPicture(PicturePath(expected.file), expected.box);
    if (!expected.made) {
      EXPECT_TRUE(png.empty());
      continue;
    }
    ExpectStripPicture(png, expected);
  }
}

TEST_F(Contract, StripPictureOfAPipeIsRefusedAtOnce) {
  const UnwrittenPipe pipe(UniqueTitle("picture-pipe"));
  ASSERT_TRUE(pipe.Made());
  EXPECT_TRUE(platform::MakeStripPicture(pipe.Path(), 48).empty());
}

// A picture followed by zeros up to the size limit is read; one byte more and
// the file is refused unread.
TEST_F(Contract, StripPictureFileUpToTheSizeLimitIsRead) {
  const TemporaryFolder folder("picture-limit");
  const std::filesystem::path padded = std::filesystem::path(folder.Path()) / "padded.png";
  std::filesystem::copy_file(PicturePath("png_rgb.png"), padded);
  std::filesystem::resize_file(padded, platform::kMaxPictureFileBytes);
  ExpectStripPicture(platform::MakeStripPicture(padded.string(), 48),
                     PictureCase{"", 48, true, 48, 24, kRed, kBlue});
  std::filesystem::resize_file(padded, platform::kMaxPictureFileBytes + 1);
  EXPECT_TRUE(platform::MakeStripPicture(padded.string(), 48).empty());
}

} // namespace
