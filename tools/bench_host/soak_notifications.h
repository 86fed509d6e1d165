// The desktop application's notifications in the soak: state changes
// (broadcast, pose, quick slot), the seven item lists, and the refresh
// request, each as the desktop application sends it.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Notification {
  std::uint64_t kind = 0;
  std::string payload; // sent with its terminating NUL counted; empty: no data at all
};

// A list notification and the action whose open inspectors receive it.
struct ListNotification {
  std::string action;
  Notification notification;
  Json::Value document; // what the inspectors receive
};

// Every list the soak sends: two of each kind, of different lengths.
const std::vector<ListNotification> &SoakLists();

// Chooses the soak's notifications pseudo-randomly, by weight: mostly
// state changes and lists, some quick-slot changes (which make the plug-in
// read a key image file), a few refresh requests.
class NotificationMix {
public:
  explicit NotificationMix(std::uint64_t seed) : mState(seed) {}
  Notification Next();

private:
  std::size_t Pick(std::size_t count);
  std::uint64_t mState;
};

} // namespace bench
