// The few services that differ between Windows and POSIX: the notification
// window and its message loop, the executable's own path, and the desktop
// application link. Windows types never cross this header; a window handle
// travels as an opaque pointer-sized value.
//
// The contract below holds on every platform; tests/platform/
// platform_contract_test.cpp checks it natively and under Wine. Where a
// platform adds something, the function's comment says so.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using WindowHandle = void *;

// Holds the notification window's handle. Start-up fills it, the session
// worker reads it to close the window, the command sender reads it at every
// delivery and the entry point clears it at shut-down, so it is atomic.
struct WindowHandleCell {
  std::atomic<WindowHandle> handle{nullptr};
};

// The data of one WM_COPYDATA message: kind code (dwData), byte count
// (cbData) and bytes (lpData, may be null).
struct CopyData {
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  const void *data = nullptr;
};

// Handles a WM_COPYDATA that reached a window, on the thread that owns the
// window. `data` is null when the message carried no data structure; its
// bytes are valid during the call only. The result (1 accepted, 0 refused)
// is answered to the sender.
using CopyDataHandler = std::intptr_t (*)(WindowHandle sender, const CopyData *data);

// Creates the hidden notification window on the calling thread and stores its
// handle in `cell`. Returns 0 on success, -1 on failure (then `cell` is left
// as it was). A process has at most one notification window at a time: while
// one exists, creating another fails and leaves the first as it is; once it
// has been destroyed, a new one may be created. Start-up creates exactly one.
// `onCopyData` may be null, in which case every WM_COPYDATA is refused
// (answered 0). It is never the desktop window; others learn its handle from
// the sender of the messages it sends. (Windows: a message-only window, which
// FindWindowW does not find, though Wine's does; POSIX: no search finds it.)
// POSIX: SIGTERM and SIGINT close the window as a close request does while it
// exists. When the desktop link has no usable folder, the window is created
// all the same but nothing can reach it (docs/desktop-link-posix.md).
int CreateNotificationWindow(WindowHandleCell &cell, CopyDataHandler onCopyData);

// Creates a window that a search by `title` finds, on the calling thread: what
// the desktop application (and its stand-in) owns. Each window keeps its own
// handler (null: every WM_COPYDATA refused). The title must be a plain name:
// not empty, no '/', not starting with '.'; otherwise, or on failure, null.
WindowHandle CreateTitledWindow(const std::string &title, CopyDataHandler onCopyData);

// Runs the calling thread's message loop, handing each window of this thread
// its messages, until a window of this thread has been destroyed (its
// destruction ends the loop: the quit message on Windows).
void RunMessageLoop();

// Asks the window to close, from any thread (PostMessageW with WM_CLOSE). The
// window is destroyed on the thread that runs its message loop. A null handle
// or a window that is gone is ignored.
void PostCloseRequest(WindowHandle window);

// The window titled `title`, looked up afresh; null when there is none.
// POSIX: the lookup never waits on the window's owner (it gives up after a
// short deadline); a window whose owner accepts no connection counts as absent.
WindowHandle FindWindowByTitle(const std::string &title);

// The desktop application's window, the one titled "ZORVANEDESKTOP"; null when absent.
WindowHandle FindDesktopWindow();

// Sends `data` (null: no data structure at all) to `target` as one WM_COPYDATA
// with `from` as the sender, and waits until the target has handled it. A
// window of the calling thread handles it at once, within the call; a window
// of another thread or process handles it on its own thread. Returns the
// target's result, or 0 when it could not be delivered (null target, a window
// that is gone, no handler).
// POSIX: the wait is bounded (10 s, the handling included), and the receiver
// sees `from` only if the kernel confirms that the sending process owns it;
// otherwise the sender arrives as null.
std::intptr_t SendCopyData(WindowHandle target, WindowHandle from, const CopyData *data);

// A file opened for reading only if it is a regular file. Opening never
// blocks, and the check is made on what was opened, not on the name: a named
// pipe, a device or a folder is refused even when it replaced a regular file
// a moment before.
class RegularFile {
public:
  // Opens the file that `utf8Path` names, as it is (a relative path is
  // resolved against the working folder).
  explicit RegularFile(const std::string &utf8Path);
  ~RegularFile();
  RegularFile(const RegularFile &) = delete;
  RegularFile &operator=(const RegularFile &) = delete;

  bool IsOpen() const { return mOpen; }
  // The size when it was opened.
  std::uint64_t Size() const { return mSize; }
  // Reads up to `size` bytes from the current position: the count read, 0 at
  // the end of the file or on an error.
  std::size_t Read(void *buffer, std::size_t size);

private:
  std::intptr_t mHandle = 0; // the system's handle, meaningful while open
  bool mOpen = false;
  std::uint64_t mSize = 0;
};

// ------------------------------------------------------ pictures for a strip
//
// A thumbnail file made into a small PNG for a dial's touch strip. What reads
// it differs: the Windows Imaging Component on Windows; libpng, libjpeg-turbo,
// giflib and libwebp on POSIX (no BMP there). docs/dials.md says why.

// What is refused before any pixel is decoded: a file larger than this, or a
// picture whose header gives a side longer than kMaxPictureSide pixels.
constexpr std::uint64_t kMaxPictureFileBytes = 32u << 20;
constexpr std::uint32_t kMaxPictureSide = 8192;
// The largest square a strip picture is made to fit.
constexpr int kMaxStripPictureBox = 96;

// Pixels, row after row from the top, four bytes each: red, green, blue and
// alpha, not premultiplied.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

// Decodes the picture file held in `bytes` (PNG, JPEG, GIF's first frame,
// BMP and WebP where the platform reads them; the format is told by the
// bytes, never by a name) and shrinks it by area averaging to fit a square of
// `box` pixels, keeping its aspect ratio; a picture that already fits keeps
// its size. Whatever cannot be decoded completely is refused: the result is
// then false and `picture` empty. A `box` outside 1 to kMaxStripPictureBox,
// a header beyond the bounds above or more bytes than kMaxPictureFileBytes
// are refused before any pixel is decoded. One picture is held at a time,
// and making it takes at most 40 MiB, the bytes included: a picture whose
// decoding would take more is refused (Windows: one that would not fit whole,
// 4 bytes a pixel or 8 for a 16-bit PNG, since the system's decoder may hold
// it whole).
//
// Any thread may call it, several at once. Windows: the thread is in COM's
// multithreaded apartment for the call unless it already has an apartment,
// which is then used as it is; the thread leaves COM as it found it. A large
// file takes a while (a 2,048 px photo: a quarter of a second, more under
// Wine): never call it where a sender waits for an answer, such as a handler
// of WM_COPYDATA.
bool DecodePictureToFit(const std::string &bytes, int box, Picture &picture);

// The picture as a PNG file (8 bits a sample; no alpha channel when every
// pixel is opaque); empty for an empty picture or on failure.
std::string EncodePng(const Picture &picture);

// The picture file at `utf8Path`, decoded, fitted to `box` and encoded as a
// PNG; empty when refused. Only a regular file is read (RegularFile: a pipe
// never blocks the call), and one larger than kMaxPictureFileBytes is refused
// without being read. The threads it may be called on: as DecodePictureToFit.
std::string MakeStripPicture(const std::string &utf8Path, int box);

// The same for a file's bytes already in memory.
std::string MakeStripPictureFromBytes(const std::string &bytes, int box);

// Settings the whole process keeps, made by the entry point before anything
// else. On POSIX with glibc: memory that a burst of replies frees stays with
// the process, up to 32 MiB, instead of going back to the system after every
// reply and being faulted in again, page by page, for the next. On Windows
// there is nothing to set.
void PrepareProcess();

// Lowers the calling thread's scheduling priority below the process's other
// threads, for work that nobody waits for (the strips' pictures): whatever
// answers an event runs first when both want the processor. Nothing happens
// where the system does not allow it.
void LowerThreadPriority();

// Full path of the running executable, or the empty string on failure.
std::string GetExecutablePath();

// Turns a path built with backslashes into one the file system accepts: on
// Windows unchanged, on POSIX with every backslash made a slash.
std::string ToFileSystemPath(const std::string &path);

} // namespace platform
