#include "plugin/strip_pictures.h"

#include "platform/platform.h"
#include "streamdeck/base64.h"

#include <algorithm>
#include <exception>

namespace {

std::string DataUrl(const std::string &png) {
  if (png.empty()) {
    return std::string();
  }
  return "data:image/png;base64," +
         Base64Encode(reinterpret_cast<const unsigned char *>(png.data()),
                      static_cast<std::uint32_t>(png.size()));
}

} // namespace

cStripPictures::cStripPictures(cMaker maker, Worker worker)
    : mMaker(std::move(maker)), mWorker(worker) {}

cStripPictures::~cStripPictures() { Stop(); }

std::size_t cStripPictures::CostOf(const cKept &kept) {
  // The bookkeeping of an entry: its node, its index entry, the picture's
  // control block and the key twice.
  constexpr std::size_t kEntryOverhead = 160;
  return kEntryOverhead + 2 * kept.key.second.size() + kept.picture->size();
}

void cStripPictures::Open(std::uint64_t list) {
  const std::lock_guard<std::mutex> lock(mMutex);
  mOpen.insert(list);
}

void cStripPictures::Close(std::uint64_t list) {
  const std::lock_guard<std::mutex> lock(mMutex);
  mOpen.erase(list);
  mFull.erase(list);
  DropKept(list);
  mWaiting.erase(
      std::remove_if(mWaiting.begin(), mWaiting.end(),
                     [list](const cRequest &request) { return request.key.first == list; }),
      mWaiting.end());
  for (auto wanted = mWanted.begin(); wanted != mWanted.end();) {
    wanted = wanted->first == list ? mWanted.erase(wanted) : std::next(wanted);
  }
}

void cStripPictures::CloseAll() {
  const std::lock_guard<std::mutex> lock(mMutex);
  mOpen.clear();
  mFull.clear();
  mKept.clear();
  mIndex.clear();
  mKeptBytes = 0;
  mWaiting.clear();
  mWanted.clear();
}

void cStripPictures::DropKept(std::uint64_t list) {
  for (auto kept = mKept.begin(); kept != mKept.end();) {
    if (kept->key.first == list) {
      mKeptBytes -= CostOf(*kept);
      mIndex.erase(kept->key);
      kept = mKept.erase(kept);
    } else {
      ++kept;
    }
  }
}

cStripPictures::cPicture cStripPictures::Find(std::uint64_t list, std::string_view file) {
  std::unique_lock<std::mutex> lock(mMutex);
  const auto kept = mIndex.find(cKeyView{list, file});
  if (kept != mIndex.end()) {
    mKept.splice(mKept.begin(), mKept, kept->second);
    return kept->second->picture;
  }
  if (mOpen.count(list) == 0 || mStopping) {
    return nullptr;
  }
  cKey key{list, std::string(file)};
  mWanted.insert(key);
  mWaiting.push_front(cRequest{std::move(key), true});
  WakeWorker(lock);
  return nullptr;
}

void cStripPictures::Prepare(std::uint64_t list, const std::vector<std::string_view> &files,
                             bool mayEvict) {
  std::unique_lock<std::mutex> lock(mMutex);
  if (mOpen.count(list) == 0 || mStopping || (!mayEvict && mFull.count(list) != 0)) {
    return;
  }
  bool asked = false;
  for (const std::string_view file : files) {
    if (mIndex.count(cKeyView{list, file}) == 0) {
      mWaiting.push_back(cRequest{cKey{list, std::string(file)}, mayEvict});
      asked = true;
    }
  }
  if (asked) {
    WakeWorker(lock);
  }
}

// Wakes the worker for the requests just queued, first starting the thread
// when there is none yet; releases `lock`. A thread that cannot start leaves
// the requests waiting for the next one to try again.
void cStripPictures::WakeWorker(std::unique_lock<std::mutex> &lock) {
  if (mWorker != Worker::OwnThread) {
    return;
  }
  if (!mThread.joinable()) {
    try {
      mThread = std::thread([this] { RunThread(); });
    } catch (const std::exception &) {
      return;
    }
  }
  lock.unlock();
  mWork.notify_one();
}

bool cStripPictures::TakeNext(cRequest &request) {
  while (!mWaiting.empty() && !mStopping) {
    request = std::move(mWaiting.front());
    mWaiting.pop_front();
    const std::uint64_t list = request.key.first;
    const bool wanted = mOpen.count(list) != 0 && mIndex.count(request.key) == 0 &&
                        (request.mayEvict || mFull.count(list) == 0);
    if (wanted) {
      return true;
    }
  }
  return false;
}

void cStripPictures::EvictFor(std::size_t bytes) {
  while (!mKept.empty() && mKeptBytes + bytes > kMaxStripPictureBytes) {
    const cKept &last = mKept.back();
    mKeptBytes -= CostOf(last);
    mIndex.erase(last.key);
    mKept.pop_back();
  }
}

bool cStripPictures::Keep(const cRequest &request, std::string picture) {
  cKept made{request.key, std::make_shared<const std::string>(std::move(picture))};
  const std::lock_guard<std::mutex> lock(mMutex);
  const std::uint64_t list = request.key.first;
  if (mOpen.count(list) == 0 || mIndex.count(request.key) != 0) {
    return false;
  }
  const std::size_t cost = CostOf(made);
  if (request.mayEvict) {
    EvictFor(cost);
  } else if (mKeptBytes + cost > kMaxStripPictureBytes) {
    // No room left without pushing out another picture: the list's
    // preparation ends here, and the rest is made when a strip shows it.
    mFull.insert(list);
    return false;
  }
  if (cost > kMaxStripPictureBytes) {
    return false;
  }
  // A refused file is shown as the strip already shows it: no one waits.
  const bool shows = !made.picture->empty();
  // A picture made ahead counts as the least recently used of those made so
  // far: made nearest first, the farthest from the dials goes first.
  const auto at = request.mayEvict ? mKept.begin() : mKept.end();
  const auto kept = mKept.insert(at, std::move(made));
  mIndex.emplace(request.key, kept);
  mKeptBytes += cost;
  return mWanted.erase(request.key) != 0 && shows;
}

void cStripPictures::MakeAndKeep(const cRequest &request) {
  std::string picture;
  try {
    picture = DataUrl(mMaker(request.key.second));
  } catch (const std::exception &) {
    // No memory for this one: it is shown as a refused file.
    picture.clear();
  }
  if (Keep(request, std::move(picture)) && mMadeHandler) {
    mMadeHandler(request.key.first, request.key.second);
  }
}

void cStripPictures::RunThread() {
  platform::LowerThreadPriority();
  for (;;) {
    cRequest request;
    {
      std::unique_lock<std::mutex> lock(mMutex);
      mWork.wait(lock, [this] { return mStopping || !mWaiting.empty(); });
      if (!TakeNext(request)) {
        if (mStopping) {
          return;
        }
        continue;
      }
    }
    MakeAndKeep(request);
  }
}

void cStripPictures::MakeWaiting() {
  for (;;) {
    cRequest request;
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      if (!TakeNext(request)) {
        return;
      }
    }
    MakeAndKeep(request);
  }
}

void cStripPictures::Stop() {
  std::thread thread;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mStopping = true;
    mWaiting.clear();
    mWanted.clear();
    thread = std::move(mThread);
  }
  mWork.notify_all();
  if (thread.joinable()) {
    thread.join();
  }
}

std::size_t cStripPictures::KeptBytes() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mKeptBytes;
}
