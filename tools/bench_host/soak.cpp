#include "soak.h"

#include "bench_failure.h"
#include "desktop_window.h"
#include "events.h"
#include "platform/platform.h"
#include "plugin_session.h"
#include "proc_stats.h"
#include "soak_checks.h"
#include "soak_notifications.h"
#include "soak_script.h"

#include <atomic>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace bench {
namespace {

using Seconds = std::chrono::duration<double>;

const char kFinalAction[] = "com.brimcove.zorvaneplugin.changeavatar";
const char kFinalContext[] = "SOAKFINAL";
constexpr int kFinalPosition = 31;
constexpr std::size_t kMessageLimit = 64u << 20;
// How far the plug-in may fall behind the events before the driver waits: in
// key releases not yet delivered, and in key images not yet received.
constexpr std::size_t kLagLimit = 256;
// The share of the asked notification rate below which the run says that it fell behind.
constexpr double kRateShare = 0.9;
const std::string kCalibrateAction = "com.brimcove.zorvaneplugin.calibrate";

double MiB(std::uint64_t kib) { return static_cast<double>(kib) / 1024.0; }

std::string ReadFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file.is_open()) {
    throw BenchFailure("cannot read " + path);
  }
  return bytes.str();
}

// Sends the desktop application's notifications from its window to the
// plug-in's notification window, on a thread of its own, at a steady rate.
// Each send waits until the plug-in has handled it, as WM_COPYDATA does.
class Notifier {
public:
  Notifier(void *plugin, void *desktop, double perMs, std::uint64_t seed)
      : mPlugin(plugin), mDesktop(desktop), mPerMs(perMs), mMix(seed),
        mThread(&Notifier::Run, this) {}
  ~Notifier() { Stop(); }

  Notifier(const Notifier &) = delete;
  Notifier &operator=(const Notifier &) = delete;

  void Stop() {
    mStop.store(true);
    if (mThread.joinable()) {
      mThread.join();
    }
  }

  std::uint64_t Sent() const { return mSent.load(); }
  std::uint64_t Refused() const { return mRefused.load(); }
  // How long it has been sending; final once stopped.
  double Seconds() const { return static_cast<double>(mElapsedUs.load()) / 1e6; }

private:
  void Run() {
    const Clock::time_point start = Clock::now();
    std::uint64_t sent = 0;
    while (!mStop.load()) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
      mElapsedUs.store(static_cast<std::uint64_t>(elapsed));
      const auto due = static_cast<std::uint64_t>(static_cast<double>(elapsed) * mPerMs / 1000.0);
      if (sent >= due) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        continue;
      }
      Send(mMix.Next());
      mSent.store(++sent);
    }
  }

  void Send(const Notification &notification) {
    platform::CopyData data;
    data.kind = notification.kind;
    if (!notification.payload.empty()) {
      data.size = static_cast<std::uint32_t>(notification.payload.size() + 1);
      data.data = notification.payload.c_str();
    }
    if (platform::SendCopyData(mPlugin, mDesktop, &data) != 1) {
      mRefused.fetch_add(1);
    }
  }

  void *const mPlugin;
  void *const mDesktop;
  const double mPerMs;
  NotificationMix mMix;
  std::atomic<bool> mStop{false};
  std::atomic<std::uint64_t> mSent{0};
  std::atomic<std::uint64_t> mRefused{0};
  std::atomic<std::uint64_t> mElapsedUs{0};
  std::thread mThread;
};

// The desktop application's senders: the rate is shared among several
// threads, so that one notification's way in and out of the plug-in overlaps
// the next one's, as when several of the desktop application's threads send.
class Notifiers {
public:
  Notifiers(void *plugin, void *desktop, const SoakOptions &options) {
    const double perMs = options.notificationsPerMs / static_cast<double>(options.notifiers);
    for (std::size_t i = 0; i < options.notifiers; ++i) {
      mSenders.push_back(
          std::make_unique<Notifier>(plugin, desktop, perMs, options.seed ^ (0x5A5A5A5AULL + i)));
    }
  }

  void Stop() {
    for (const std::unique_ptr<Notifier> &sender : mSenders) {
      sender->Stop();
    }
  }

  std::uint64_t Sent() const {
    std::uint64_t sent = 0;
    for (const std::unique_ptr<Notifier> &sender : mSenders) {
      sent += sender->Sent();
    }
    return sent;
  }

  std::uint64_t Refused() const {
    std::uint64_t refused = 0;
    for (const std::unique_ptr<Notifier> &sender : mSenders) {
      refused += sender->Refused();
    }
    return refused;
  }

  double Seconds() const { return mSenders.front()->Seconds(); }

private:
  std::vector<std::unique_ptr<Notifier>> mSenders;
};

// One soak run. The members are made in order: the checks and the desktop
// window exist before the plug-in starts.
class SoakRun {
public:
  SoakRun(const SoakOptions &options, const std::string &outputPath)
      : mOptions(options), mGuard(static_cast<long long>(options.hangGuardSeconds * 1000)),
        mPng(ReadFile(options.keyImagePath)),
        mScript(MakeSoakKeys(options.keyImagePath), options.seed),
        mFrames(SoakFrameTexts(mScript.Keys(), mPng, kFinalContext)),
        mSession(options.pluginPath, mGuard, kMessageLimit, mFrames, outputPath) {}

  SoakResult Run();

private:
  void Begin();
  void Load(Notifiers &notifier);
  void Finish();
  void SendStep(const SoakStep &step);
  void DrainCommands(std::chrono::milliseconds wait);
  bool Lagging() const;
  void Sample(double second, const Notifiers &notifier);
  std::size_t IndexOf(const std::string &action) const;
  void AddFigures(const Notifiers &notifier, double exitMs, SoakResult &result);

  const SoakOptions &mOptions;
  const std::chrono::milliseconds mGuard;
  const std::string mPng;
  SoakScript mScript;
  SoakFrames mFrames;
  PressLedger mLedger;
  DesktopWindow mDesktop;
  PluginSession mSession;
  void *mPluginWindow = nullptr;
  std::map<std::string, std::uint64_t> mEventKinds;
  std::uint64_t mSteps = 0;
  std::uint64_t mEventFrames = 0;
  std::uint64_t mPresses = 0;
  std::size_t mKeyImages = 0;
  std::vector<RssSample> mSamples;
  double mLoadSeconds = 0;
};

void SoakRun::SendStep(const SoakStep &step) {
  for (const std::string &frame : step.frames) {
    mSession.Server().Send(frame);
  }
  for (const ExpectedCommand &command : step.commands) {
    mLedger.Expect(command);
  }
  mKeyImages += step.keyImages;
  mPresses += step.presses;
  mEventFrames += step.frames.size();
  mEventKinds[step.kind] += step.frames.size();
  ++mSteps;
}

void SoakRun::DrainCommands(std::chrono::milliseconds wait) {
  for (const ReceivedCommand &command : mDesktop.TakeAll(wait)) {
    if (mPluginWindow == nullptr) {
      mPluginWindow = command.sender;
    }
    if (command.sender == nullptr || command.sender != mPluginWindow) {
      throw BenchFailure("a command named another reply window than the plug-in's first one");
    }
    const std::string fault = mLedger.Receive(command);
    if (!fault.empty()) {
      throw BenchFailure(fault);
    }
  }
}

bool SoakRun::Lagging() const {
  return mLedger.Outstanding() > kLagLimit ||
         mKeyImages > mFrames.Count(FrameKind::KeyImage) + kLagLimit;
}

std::size_t SoakRun::IndexOf(const std::string &action) const {
  for (std::size_t i = 0; i < mScript.Keys().size(); ++i) {
    if (mScript.Keys()[i].action == action) {
      return i;
    }
  }
  throw BenchFailure("no key of " + action);
}

// Every key appears, and a release of the calibrate key tells the driver
// the plug-in's notification window: the sender of its commands.
void SoakRun::Begin() {
  SendStep(mScript.AppearAll());
  mSession.Server().Send(
      WillAppearEvent(kFinalAction, kFinalContext, kFinalPosition, Json::Value(Json::objectValue)));
  SendStep(mScript.Press(IndexOf(kCalibrateAction)));
  const Clock::time_point deadline = Clock::now() + mGuard;
  while (mPluginWindow == nullptr && Clock::now() < deadline) {
    DrainCommands(std::chrono::milliseconds(50));
    mFrames.ThrowIfFault();
  }
  if (mPluginWindow == nullptr) {
    throw BenchFailure("the first key release did not reach the desktop window within " +
                       std::to_string(mGuard.count()) + " ms (hang guard)");
  }
}

void SoakRun::Sample(double second, const Notifiers &notifier) {
  if (mSession.HasEnded()) {
    throw BenchFailure("the plug-in process ended during the soak");
  }
  mFrames.ThrowIfFault();
  if (notifier.Refused() > 0) {
    throw BenchFailure(std::to_string(notifier.Refused()) +
                       " notification(s) were refused or not answered by the plug-in");
  }
  mSamples.push_back(RssSample{second, ReadMemory(mSession.Pid()).rssKiB});
  if (mSamples.size() % 30 == 0) {
    std::cout << "== " << FormatNumber(second) << " s: " << mSteps << " events, "
              << mLedger.Delivered() << " commands delivered, " << notifier.Sent()
              << " notifications, VmRSS " << FormatNumber(MiB(mSamples.back().rssKiB)) << " MiB"
              << std::endl;
  }
}

void SoakRun::Load(Notifiers &notifier) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(Seconds(mOptions.seconds));
  const std::uint64_t stepsBefore = mSteps;
  std::uint64_t nextSample = 1;
  for (Clock::time_point now = start; now < end; now = Clock::now()) {
    const double elapsed = Seconds(now - start).count();
    const auto due = static_cast<std::uint64_t>(elapsed * 1000.0 * mOptions.eventsPerMs);
    while (mSteps - stepsBefore < due && !Lagging()) {
      SendStep(mScript.Next());
    }
    DrainCommands(std::chrono::milliseconds(1));
    if (elapsed >= static_cast<double>(nextSample)) {
      Sample(elapsed, notifier);
      ++nextSample;
    }
  }
  mLoadSeconds = Seconds(Clock::now() - start).count();
}

// After the load: a last key release must reach the desktop window and a last
// event must get its reply, behind everything sent before them.
void SoakRun::Finish() {
  SendStep(mScript.Press(IndexOf(kCalibrateAction)));
  mSession.Server().Send(DidReceiveSettingsEvent(kFinalAction, kFinalContext, kFinalPosition,
                                                 ImageSettings(mOptions.keyImagePath)));
  const Clock::time_point deadline = Clock::now() + mGuard;
  while (mLedger.Outstanding() > 0 && Clock::now() < deadline) {
    DrainCommands(std::chrono::milliseconds(10));
    mFrames.ThrowIfFault();
  }
  if (mLedger.Outstanding() > 0) {
    throw BenchFailure(std::to_string(mLedger.Outstanding()) +
                       " key release command(s) did not reach the desktop window within " +
                       std::to_string(mGuard.count()) + " ms after the load (hang guard)");
  }
  if (!mFrames.WaitForCount(FrameKind::Final, 1, mGuard)) {
    mFrames.ThrowIfFault();
    throw BenchFailure("the last event got no reply within " + std::to_string(mGuard.count()) +
                       " ms (hang guard)");
  }
  if (mFrames.Count(FrameKind::KeyImage) != mKeyImages) {
    throw BenchFailure("the events asked for " + std::to_string(mKeyImages) +
                       " key images; the plug-in sent " +
                       std::to_string(mFrames.Count(FrameKind::KeyImage)));
  }
}

std::string Breakdown(const std::map<std::string, std::uint64_t> &kinds) {
  std::string text;
  for (const auto &[kind, count] : kinds) {
    text += (text.empty() ? "" : ", ") + kind + " " + std::to_string(count);
  }
  return text;
}

void SoakRun::AddFigures(const Notifiers &notifier, double exitMs, SoakResult &result) {
  std::vector<Figure> &figures = result.figures;
  const double notifyRate = static_cast<double>(notifier.Sent()) / notifier.Seconds() / 1000.0;
  figures.push_back(MakeFigure("soak_seconds", "load duration", mLoadSeconds, "s", Goal::None, 0));
  figures.push_back(MakeFigure("events", "Stream Deck events sent",
                               static_cast<double>(mEventFrames), "", Goal::None, 0,
                               Breakdown(mEventKinds)));
  figures.push_back(MakeFigure("key_presses", "key presses (keyDown and keyUp)",
                               static_cast<double>(mPresses), "", Goal::None, 0));
  figures.push_back(MakeFigure("commands_delivered", "key release commands delivered, in order",
                               static_cast<double>(mLedger.Delivered()), "", Goal::AtLeast,
                               static_cast<double>(mLedger.Delivered() + mLedger.Outstanding()),
                               "a release of a text key without text sends nothing"));
  figures.push_back(MakeFigure("list_requests", "list requests delivered",
                               static_cast<double>(mLedger.ListRequests()), "", Goal::None, 0));
  figures.push_back(MakeFigure("notifications", "desktop notifications sent, all accepted",
                               static_cast<double>(notifier.Sent()), "", Goal::None, 0));
  figures.push_back(MakeFigure("notifications_per_ms", "desktop notifications per ms", notifyRate,
                               "/ms", Goal::AtLeast, kRateShare * mOptions.notificationsPerMs));
  figures.push_back(MakeFigure(
      "frames", "frames from the plug-in, each one checked", static_cast<double>(mFrames.Frames()),
      "", Goal::None, 0,
      "key images " + std::to_string(mFrames.Count(FrameKind::KeyImage)) + ", quick-slot images " +
          std::to_string(mFrames.Count(FrameKind::QuickslotImage)) + ", states " +
          std::to_string(mFrames.Count(FrameKind::State)) + ", inspector payloads " +
          std::to_string(mFrames.Count(FrameKind::Inspector))));
  const MemoryVerdict memory = JudgeMemory(mSamples, mOptions.memory);
  figures.push_back(MakeFigure("rss_after_warm_up_mib", "VmRSS after warm-up (median of a window)",
                               MiB(memory.baselineKiB), "MiB", Goal::None, 0));
  figures.push_back(MakeFigure("rss_end_mib", "VmRSS at the end (median of the last window)",
                               MiB(memory.endKiB), "MiB", Goal::AtMost,
                               MiB(memory.baselineKiB + memory.allowedKiB), memory.explanation));
  figures.push_back(MakeFigure("exit_ms", "exit after the host closes the connection", exitMs, "ms",
                               Goal::None, 0));
  if (!memory.flat) {
    result.failures.push_back("resident memory is not flat: " + memory.explanation);
  }
  if (notifyRate < kRateShare * mOptions.notificationsPerMs) {
    result.notes.push_back(
        "the notifications fell behind the asked rate: " + FormatNumber(notifyRate) +
        " per ms of the " + FormatNumber(mOptions.notificationsPerMs) +
        " asked; the plug-in answered each one, more slowly (a busy machine, "
        "or a sanitizer's cost)");
  }
}

SoakResult SoakRun::Run() {
  std::cout << "== soak of " << mOptions.pluginPath << " for " << FormatNumber(mOptions.seconds)
            << " s" << std::endl;
  Begin();
  Notifiers notifiers(mPluginWindow, mDesktop.Handle(), mOptions);
  Load(notifiers);
  notifiers.Stop();
  Finish();
  mFrames.ExpectClose();
  const double exitMs = mSession.CloseAndTimeExit();
  SoakResult result;
  AddFigures(notifiers, exitMs, result);
  return result;
}

} // namespace

SoakResult RunSoak(const SoakOptions &options) {
  SoakLists(); // made before any thread needs them
  SoakRun run(options, options.outputPath);
  return run.Run();
}

} // namespace bench
