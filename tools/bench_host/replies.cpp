#include "replies.h"

#include "bench_failure.h"

#include <websocketpp/base64/base64.hpp>

#include <algorithm>
#include <memory>

namespace bench {
namespace {

// Reads `text` as a JSON object; null when it is none.
Json::Value ParseObject(const std::string &text) {
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    if (reader->parse(text.data(), text.data() + text.size(), &root, &errors) && root.isObject()) {
      return root;
    }
  } catch (const Json::Exception &) {
    // Too deeply nested to be a reply of the plug-in: described as text.
  }
  return Json::Value();
}

std::string Member(const Json::Value &object, const char *name) {
  const Json::Value &value = object[name];
  return value.isString() ? value.asString() : std::string();
}

} // namespace

std::string RegistrationText(const std::string &registerEvent, const std::string &uuid) {
  Json::Value registration(Json::objectValue);
  registration["event"] = registerEvent;
  registration["uuid"] = uuid;
  return Json::StyledWriter().write(registration);
}

std::string SetImageText(const std::string &context, const std::string &fileBytes) {
  Json::Value message(Json::objectValue);
  message["event"] = "setImage";
  message["context"] = context;
  message["payload"]["image"] = "data:image/png;base64," + websocketpp::base64_encode(fileBytes);
  message["payload"]["target"] = 0;
  return Json::StyledWriter().write(message);
}

std::string Excerpt(const std::string &text) {
  const std::size_t kShown = 120;
  std::string shown = text.substr(0, kShown);
  std::replace(shown.begin(), shown.end(), '\n', ' ');
  return "\"" + shown + (text.size() > kShown ? "...\"" : "\"") + " (" +
         std::to_string(text.size()) + " bytes)";
}

std::string SetStateText(const std::string &context, int state) {
  Json::Value message(Json::objectValue);
  message["event"] = "setState";
  message["context"] = context;
  message["payload"]["state"] = state;
  return Json::StyledWriter().write(message);
}

std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload) {
  Json::Value message(Json::objectValue);
  message["action"] = action;
  message["context"] = context;
  message["event"] = "sendToPropertyInspector";
  message["payload"] = payload;
  return Json::StyledWriter().write(message);
}

std::size_t KeyOfEvent(std::size_t index, std::size_t keyCount) {
  // splitmix64's output function.
  std::uint64_t mixed = static_cast<std::uint64_t>(index) + 0x9E3779B97F4A7C15ULL;
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  mixed ^= mixed >> 31;
  return static_cast<std::size_t>(mixed % keyCount);
}

std::string DescribeMismatch(const std::string &expected, const std::string &received,
                             std::size_t index, std::size_t count) {
  const std::string where = "reply " + std::to_string(index + 1) + " of " + std::to_string(count);
  const Json::Value wanted = ParseObject(expected);
  const Json::Value got = ParseObject(received);
  const std::string wantedContext = Member(wanted, "context");
  if (Member(got, "event") != Member(wanted, "event")) {
    return where + ": expected a " + Member(wanted, "event") + " for key " + wantedContext +
           ", got " + Excerpt(received);
  }
  if (Member(got, "context") != wantedContext) {
    return where + ": expected the " + Member(wanted, "event") + " of key " + wantedContext +
           ", got the one of key " + Member(got, "context") +
           " (a reply lost, repeated or out of order)";
  }
  const auto difference =
      std::mismatch(expected.begin(), expected.end(), received.begin(), received.end());
  return where + ": the " + Member(wanted, "event") + " of key " + wantedContext +
         " differs from the expected text at byte " +
         std::to_string(difference.first - expected.begin()) + " (expected " +
         std::to_string(expected.size()) + " bytes, got " + std::to_string(received.size()) + ")";
}

void ReplyChecker::Expect(std::vector<const std::string *> texts) {
  const std::lock_guard<std::mutex> lock(mMutex);
  mExpected = std::move(texts);
  mReceived = 0;
}

void ReplyChecker::OnText(const std::string &text, Clock::time_point arrival) {
  const std::string *expected = nullptr;
  std::size_t index = 0;
  std::size_t count = 0;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (!mFault.empty()) {
      return;
    }
    index = mReceived;
    count = mExpected.size();
    if (index < count) {
      expected = mExpected[index];
    }
  }
  if (expected == nullptr) {
    SetFault("a message that nothing asked for arrived after the " + std::to_string(count) +
             " expected replies: " + Excerpt(text));
    return;
  }
  if (text != *expected) {
    SetFault(DescribeMismatch(*expected, text, index, count));
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mReceived = index + 1;
    mLastArrival = arrival;
  }
  mChanged.notify_all();
}

void ReplyChecker::OnUnexpectedFrame(const std::string &what) {
  SetFault("the plug-in sent " + what);
}

void ReplyChecker::OnConnectionEnded() {
  std::size_t missing = 0;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    missing = mExpected.size() - mReceived;
  }
  if (missing > 0) {
    SetFault("the connection to the plug-in ended with " + std::to_string(missing) +
             " replies still missing");
  }
}

void ReplyChecker::WaitForCount(std::size_t count, std::chrono::milliseconds stallLimit) {
  std::unique_lock<std::mutex> lock(mMutex);
  std::size_t seen = mReceived;
  while (mFault.empty() && mReceived < count) {
    const bool progressed = mChanged.wait_for(lock, stallLimit, [this, seen, count] {
      return !mFault.empty() || mReceived >= count || mReceived != seen;
    });
    if (!progressed) {
      throw BenchFailure("reply " + std::to_string(mReceived + 1) + " of " +
                         std::to_string(mExpected.size()) + " did not arrive within " +
                         std::to_string(stallLimit.count()) + " ms (hang guard)");
    }
    seen = mReceived;
  }
  if (!mFault.empty()) {
    throw BenchFailure(mFault);
  }
}

void ReplyChecker::ThrowIfFault() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  if (!mFault.empty()) {
    throw BenchFailure(mFault);
  }
}

std::size_t ReplyChecker::Received() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mReceived;
}

Clock::time_point ReplyChecker::LastArrival() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mLastArrival;
}

void ReplyChecker::SetFault(const std::string &fault) {
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (mFault.empty()) {
      mFault = fault;
    }
  }
  mChanged.notify_all();
}

} // namespace bench
