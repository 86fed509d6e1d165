// The latest item list of each list action, as the desktop application last
// reported it, read once when it arrives and shared by every encoder of the
// action.
#pragma once

#include "plugin/list_items.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

using ItemList = std::vector<ListItem>;

// Used from the main thread (lists arrive there) and the session worker
// (dial events). Every operation holds the mutex for its whole run and for
// nothing else; lists are handed out shared and never change once kept.
class cCurrentLists {
public:
  // Replaces the action's list.
  void Keep(std::string_view action, std::shared_ptr<const ItemList> list);
  // The action's list; null when none was kept.
  std::shared_ptr<const ItemList> Find(std::string_view action) const;
  void DropAll();

private:
  mutable std::mutex mMutex;
  std::map<std::string, std::shared_ptr<const ItemList>, std::less<>> mLists;
};
