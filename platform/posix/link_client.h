// The sending side of the POSIX desktop link: the lookup of a window by its
// title and one message to a window, each bounded by a deadline.
#pragma once

#include "platform/platform.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {
namespace posix {

using Duration = std::chrono::steady_clock::duration;

// A lookup runs on the plug-in's main thread for every notification. The
// kernel completes or refuses a local connection at once, so this only
// bounds what should never happen.
constexpr Duration kLookupLimit = std::chrono::milliseconds(250);
// One message, the receiver's handling included: generous, but finite.
constexpr Duration kExchangeLimit = std::chrono::seconds(10);

// The window that the link `title` in `directory` names, if a process of the
// handle's own is listening there and takes the connection; null otherwise,
// and null when `limit` has passed.
WindowHandle FindWithin(const std::string &directory, const std::string &title, Duration limit);

// Sends one message to `target` in `directory` and waits for its answer;
// 0 when it could not be delivered or no answer came within `limit`.
std::intptr_t SendWithin(const std::string &directory, WindowHandle target, WindowHandle from,
                         const CopyData *data, Duration limit);

} // namespace posix
} // namespace platform
