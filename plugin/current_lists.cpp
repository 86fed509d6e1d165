#include "plugin/current_lists.h"

#include <utility>

void cCurrentLists::Keep(std::string_view action, std::shared_ptr<const ItemList> list) {
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto kept = mLists.find(action);
  if (kept != mLists.end()) {
    // The old list, now in `list`, is released after the mutex is.
    kept->second.swap(list);
  } else {
    mLists.emplace(std::string(action), std::move(list));
  }
}

std::shared_ptr<const ItemList> cCurrentLists::Find(std::string_view action) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto kept = mLists.find(action);
  return kept == mLists.end() ? nullptr : kept->second;
}

void cCurrentLists::DropAll() {
  std::map<std::string, std::shared_ptr<const ItemList>, std::less<>> dropped;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    dropped.swap(mLists);
  }
}
