// The latest item list of each list action, as the desktop application last
// reported it, read once when it arrives and shared by every encoder of the
// action.
#pragma once

#include "plugin/list_items.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using ItemList = std::vector<ListItem>;

// A list as kept: its items and the number it was kept under, which no other
// list kept by the process has, so that what is made from it (the strips'
// pictures) is told apart from what was made from an earlier list.
class cKeptList {
public:
  cKeptList(std::uint64_t keptAs, ItemList read);
  // Its index points into its items.
  cKeptList(const cKeptList &) = delete;
  cKeptList &operator=(const cKeptList &) = delete;

  // The position of the first entry whose value, as the inspector compares
  // it, is `stored`; -1 when none is (or `stored` is empty).
  std::int64_t Find(std::string_view stored) const;

  const std::uint64_t serial;
  const ItemList items;

private:
  // Each value's first position: every turn and every frame of a strip looks
  // its entry up, in lists of hundreds.
  std::unordered_map<std::string_view, std::size_t> mPositions;
};

// Used from the main thread (lists arrive there) and the session worker
// (dial events). Every operation holds the mutex for its whole run and for
// nothing else; lists are handed out shared and never change once kept.
class cCurrentLists {
public:
  // Replaces the action's list; returns the list it replaced, if any.
  std::shared_ptr<const cKeptList> Keep(std::string_view action,
                                        std::shared_ptr<const cKeptList> list);
  // The action's list; null when none was kept.
  std::shared_ptr<const cKeptList> Find(std::string_view action) const;
  void DropAll();

private:
  mutable std::mutex mMutex;
  std::map<std::string, std::shared_ptr<const cKeptList>, std::less<>> mLists;
};
