#include "plugin/current_lists.h"

#include <utility>

cKeptList::cKeptList(std::uint64_t keptAs, ItemList read) : serial(keptAs), items(std::move(read)) {
  mPositions.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    mPositions.emplace(items[i].valueText, i);
  }
}

std::int64_t cKeptList::Find(std::string_view stored) const {
  const auto found = stored.empty() ? mPositions.end() : mPositions.find(stored);
  return found == mPositions.end() ? -1 : static_cast<std::int64_t>(found->second);
}

std::shared_ptr<const cKeptList> cCurrentLists::Keep(std::string_view action,
                                                     std::shared_ptr<const cKeptList> list) {
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto kept = mLists.find(action);
  if (kept != mLists.end()) {
    // The old list, now in `list`, is released by the caller, after the mutex is.
    kept->second.swap(list);
    return list;
  }
  mLists.emplace(std::string(action), std::move(list));
  return nullptr;
}

std::shared_ptr<const cKeptList> cCurrentLists::Find(std::string_view action) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto kept = mLists.find(action);
  return kept == mLists.end() ? nullptr : kept->second;
}

void cCurrentLists::DropAll() {
  std::map<std::string, std::shared_ptr<const cKeptList>, std::less<>> dropped;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    dropped.swap(mLists);
  }
}
