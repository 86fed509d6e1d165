#include "checks.h"

#include "messages.h"

#include <cstdio>

namespace host_driver {
namespace {

bool FollowsDesktopState(const SoakKey &key) {
  return key.row->keyCommand == CommandKind::Broadcast || key.row->keyCommand == CommandKind::Pose;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Describe(std::uint64_t kind, const std::string &bytes) {
  return "kind " + Hex(kind) + " with " + std::to_string(bytes.size()) + " bytes " + Excerpt(bytes);
}

} // namespace

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
      throw DriverFailure("reply " + std::to_string(mReceived + 1) + " of " +
                          std::to_string(mExpected.size()) + " did not arrive within " +
                          std::to_string(stallLimit.count()) + " ms (hang guard)");
    }
    seen = mReceived;
  }
  if (!mFault.empty()) {
    throw DriverFailure(mFault);
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

std::unordered_map<std::string, FrameKind> SoakFrameTexts(const std::vector<SoakKey> &keys,
                                                          const std::string &png,
                                                          const std::string &finalContext) {
  std::unordered_map<std::string, FrameKind> texts;
  Json::Value closed(Json::objectValue);
  closed["appDidClose"] = true;
  for (const SoakKey &key : keys) {
    texts[SetImageText(key.context, png)] =
        IsQuickslot(key) ? FrameKind::QuickslotImage : FrameKind::KeyImage;
    if (FollowsDesktopState(key)) {
      texts[SetStateText(key.context, 0)] = FrameKind::State;
      texts[SetStateText(key.context, 1)] = FrameKind::State;
    }
    texts[InspectorText(key.action, key.context, closed)] = FrameKind::Inspector;
    for (const ListNotification &list : SoakLists()) {
      if (list.action == key.action) {
        texts[InspectorText(key.action, key.context, list.document)] = FrameKind::Inspector;
      }
    }
  }
  texts[SetImageText(finalContext, png)] = FrameKind::Final;
  return texts;
}

SoakFrames::SoakFrames(std::unordered_map<std::string, FrameKind> texts)
    : mTexts(std::move(texts)) {}

void SoakFrames::OnText(const std::string &text, Clock::time_point) {
  const auto found = mTexts.find(text);
  if (found == mTexts.end()) {
    SetFault("the plug-in sent a frame that no event or notification of the soak causes: " +
             Excerpt(text));
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    ++mCounts[static_cast<std::size_t>(found->second)];
    ++mFrames;
  }
  mChanged.notify_all();
}

void SoakFrames::OnConnectionEnded() {
  bool closing = false;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    closing = mClosing;
  }
  if (!closing) {
    SetFault("the connection to the plug-in ended during the soak");
  }
}

void SoakFrames::ExpectClose() {
  const std::lock_guard<std::mutex> lock(mMutex);
  mClosing = true;
}

std::size_t SoakFrames::Count(FrameKind kind) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mCounts[static_cast<std::size_t>(kind)];
}

std::uint64_t SoakFrames::Frames() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mFrames;
}

bool SoakFrames::WaitForCount(FrameKind kind, std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mMutex);
  const std::size_t index = static_cast<std::size_t>(kind);
  return mChanged.wait_for(lock, limit, [&] {
    return !mFault.empty() || mCounts[index] >= count;
  }) && mFault.empty();
}

void PressLedger::Expect(const ExpectedCommand &command) { mExpected.push_back(command); }

std::string PressLedger::Receive(const ReceivedCommand &command) {
  const std::string bytes = command.hasData ? command.bytes : std::string();
  if (command.size != bytes.size()) {
    return "the desktop window got kind " + Hex(command.kind) + " counting " +
           std::to_string(command.size) + " bytes with " + std::to_string(bytes.size()) +
           " present";
  }
  if (IsListRequest(command.kind) && bytes.empty()) {
    ++mListRequests;
    return std::string();
  }
  if (mExpected.empty()) {
    return "the desktop window got " + Describe(command.kind, bytes) +
           ", which no key release asked for";
  }
  const ExpectedCommand &expected = mExpected.front();
  if (command.kind != expected.kind || bytes != expected.bytes) {
    return "key release " + std::to_string(mDelivered + 1) + ": the desktop window got " +
           Describe(command.kind, bytes) + ", expected " + Describe(expected.kind, expected.bytes) +
           " (a command lost, repeated or changed)";
  }
  mExpected.pop_front();
  ++mDelivered;
  return std::string();
}

} // namespace host_driver
