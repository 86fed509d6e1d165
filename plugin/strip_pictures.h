// The pictures that the dials' strips show beside an entry: each thumbnail of
// a current list made once into a small PNG data URL, on a thread of their
// own, and kept in a cache of bounded size, so that a turn reads no file and
// nobody who waits for an answer waits for a picture.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// The most that the kept pictures take, their files' names included.
constexpr std::size_t kMaxStripPictureBytes = 4u << 20;

// Used from every thread that shows a strip, and from its own thread, which
// makes the pictures one at a time. Lists are told apart by a number that the
// caller gives each list it keeps (never reused): pictures are kept and made
// only for the lists that are open, so a new list, even of the same files,
// has its pictures made afresh.
class cStripPictures {
public:
  // Makes a thumbnail file into a PNG fitted to a square of `box` pixels;
  // empty when it is refused.
  using cMaker = std::function<std::string(const std::string &path)>;
  // Told, on the thread that made it and with no lock held, that the picture
  // of `file` in list `list` is made, after Find found it missing.
  using cMadeHandler = std::function<void(std::uint64_t list, const std::string &file)>;
  // A made picture as a PNG data URL, shared by the cache and whoever shows
  // it; empty when the file was refused.
  using cPicture = std::shared_ptr<const std::string>;
  // Who makes the pictures asked for: a thread of the cache's own, or
  // whoever calls MakeWaiting (the tests, which then choose the moment).
  enum class Worker { OwnThread, Caller };

  cStripPictures(cMaker maker, Worker worker);
  // Stops as Stop does.
  ~cStripPictures();
  cStripPictures(const cStripPictures &) = delete;
  cStripPictures &operator=(const cStripPictures &) = delete;

  // Set once, before the first picture is asked for.
  void SetMadeHandler(cMadeHandler handler) { mMadeHandler = std::move(handler); }

  // Pictures are kept and made for `list` from now on.
  void Open(std::uint64_t list);
  // `list` is gone: its pictures are dropped, and those asked for are not made.
  void Close(std::uint64_t list);
  void CloseAll();

  // The picture of `file` in the open `list`. When it is not made yet: null,
  // and it is made before any other, and the made handler is told once it is.
  cPicture Find(std::uint64_t list, std::string_view file);
  // Asks for the pictures of `files` in the open `list`, after those asked
  // for before. `mayEvict`: to make room, they push out the pictures used
  // least recently; otherwise each is kept only while there is room, and the
  // first that finds none ends the list's preparation.
  void Prepare(std::uint64_t list, const std::vector<std::string_view> &files, bool mayEvict);

  // Worker::Caller: makes every picture asked for, on the calling thread.
  void MakeWaiting();
  // Drops what waits, waits for the picture being made, and makes no more:
  // what is kept can still be found.
  void Stop();

  // What the kept pictures take, as counted against kMaxStripPictureBytes.
  std::size_t KeptBytes() const;

private:
  using cKey = std::pair<std::uint64_t, std::string>;
  // A key to look up by, without copying the file's name.
  using cKeyView = std::pair<std::uint64_t, std::string_view>;
  struct cKeyLess {
    using is_transparent = void;
    template <typename A, typename B> bool operator()(const A &a, const B &b) const {
      return cKeyView(a.first, a.second) < cKeyView(b.first, b.second);
    }
  };
  struct cKept {
    cKey key;
    cPicture picture;
  };
  struct cRequest {
    cKey key;
    bool mayEvict = false;
  };

  void WakeWorker(std::unique_lock<std::mutex> &lock);
  void RunThread();
  // Takes the next request worth making; false when none waits.
  bool TakeNext(cRequest &request);
  // Keeps a made picture; true when a strip waits for it and it shows more
  // than the action's own picture.
  bool Keep(const cRequest &request, std::string picture);
  void MakeAndKeep(const cRequest &request);
  void EvictFor(std::size_t bytes);
  void DropKept(std::uint64_t list);
  static std::size_t CostOf(const cKept &kept);

  const cMaker mMaker;
  const Worker mWorker;
  cMadeHandler mMadeHandler;

  // Guards everything below. Never held while a picture is made or the made
  // handler runs.
  mutable std::mutex mMutex;
  std::condition_variable mWork;
  std::thread mThread;
  bool mStopping = false;
  std::set<std::uint64_t> mOpen;
  // Most recently used first.
  std::list<cKept> mKept;
  std::map<cKey, std::list<cKept>::iterator, cKeyLess> mIndex;
  std::size_t mKeptBytes = 0;
  std::deque<cRequest> mWaiting;
  // The pictures that Find missed and a strip now waits for.
  std::set<cKey, cKeyLess> mWanted;
  // The lists whose preparation found no room.
  std::set<std::uint64_t> mFull;
};
