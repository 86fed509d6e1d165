#include "measures.h"
#include "messages.h"
#include "options.h"
#include "session.h"
#include "soak_script.h"

#include <atomic>
#include <iostream>
#include <map>
#include <vector>

namespace host_driver {
namespace {

using Seconds = std::chrono::duration<double>;

const char kFinalContext[] = "SOAKFINAL";
constexpr int kFinalPosition = 31;
constexpr std::size_t kMessageLimit = 64u << 20;
// How far the plug-in may fall behind the events before the driver waits: in
// key releases not yet delivered, and in key images not yet received.
constexpr std::size_t kLagLimit = 256;
// The share of the asked notification rate below which the run says that it fell behind.
constexpr double kRateShare = 0.9;

// The action of the key whose image is the soak's last reply.
const std::string kFinalAction(Action::ChangeAvatar);

// The desktop application's senders: they send its notifications from its
// window to the plug-in's notification window at a steady rate, shared among
// several threads so that one notification's way in and out of the plug-in
// overlaps the next one's, as when several of the desktop application's
// threads send. Each send waits until the plug-in has handled it, as
// WM_COPYDATA does.
class Notifiers {
public:
  Notifiers(void *plugin, void *desktop, const Options &options)
      : mPlugin(plugin), mDesktop(desktop), mStart(Clock::now()) {
    const double perMs = options.notificationsPerMs / static_cast<double>(options.notifiers);
    for (std::size_t i = 0; i < options.notifiers; ++i) {
      mThreads.emplace_back(&Notifiers::Run, this, perMs, options.seed ^ (0x5A5A5A5AULL + i));
    }
  }
  ~Notifiers() { Stop(); }
  Notifiers(const Notifiers &) = delete;
  Notifiers &operator=(const Notifiers &) = delete;

  void Stop() {
    mStop.store(true);
    for (std::thread &thread : mThreads) {
      if (thread.joinable()) {
        thread.join();
        mEnd = Clock::now();
      }
    }
  }

  std::uint64_t Sent() const { return mSent.load(); }
  std::uint64_t Refused() const { return mRefused.load(); }
  // How long they sent; once stopped.
  double SendingSeconds() const { return Seconds(mEnd - mStart).count(); }

private:
  void Run(double perMs, std::uint64_t seed) {
    NotificationMix mix(seed);
    std::uint64_t sent = 0;
    while (!mStop.load()) {
      const auto due =
          static_cast<std::uint64_t>(Seconds(Clock::now() - mStart).count() * 1000.0 * perMs);
      if (sent >= due) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        continue;
      }
      Send(mix.Next());
      ++sent;
      mSent.fetch_add(1);
    }
  }

  void Send(const Notification &notification) {
    if (!SendNotification(mPlugin, mDesktop, notification.kind, notification.payload)) {
      mRefused.fetch_add(1);
    }
  }

  void *const mPlugin;
  void *const mDesktop;
  const Clock::time_point mStart;
  Clock::time_point mEnd;
  std::atomic<bool> mStop{false};
  std::atomic<std::uint64_t> mSent{0};
  std::atomic<std::uint64_t> mRefused{0};
  std::vector<std::thread> mThreads;
};

struct SoakResult {
  std::vector<Figure> figures;
  // Why the run failed when the load itself went through: the memory
  // verdict, the plug-in's output. Empty: passed.
  std::vector<std::string> failures;
  // What qualifies the figures without failing the run: a notification rate
  // below the asked one.
  std::vector<std::string> notes;
};

// One soak run. The members are made in order: the checks and the desktop
// window exist before the plug-in starts.
class SoakRun {
public:
  explicit SoakRun(const Options &options)
      : mOptions(options), mGuard(options.Guard()), mPng(ReadFile(options.keyImagePath)),
        mScript(MakeSoakKeys(options.keyImagePath), options.seed),
        mFrames(SoakFrameTexts(mScript.Keys(), mPng, kFinalContext)),
        mSession(options.pluginPath, mGuard, kMessageLimit, mFrames, options.outputPath) {}

  SoakResult Run();

private:
  void Begin();
  void Load(Notifiers &notifier);
  void Finish();
  void SendStep(const SoakStep &step);
  void DrainCommands(std::chrono::milliseconds wait);
  bool Lagging() const;
  void Sample(double second, const Notifiers &notifier);
  std::size_t CalibrateKey() const;
  void AddFigures(const Notifiers &notifier, double exitMs, SoakResult &result);

  const Options &mOptions;
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
    mSession.Send(frame);
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
      throw DriverFailure("a command named another reply window than the plug-in's first one");
    }
    const std::string fault = mLedger.Receive(command);
    if (!fault.empty()) {
      throw DriverFailure(fault);
    }
  }
}

bool SoakRun::Lagging() const {
  return mLedger.Outstanding() > kLagLimit ||
         mKeyImages > mFrames.Count(FrameKind::KeyImage) + kLagLimit;
}

std::size_t SoakRun::CalibrateKey() const {
  for (std::size_t i = 0; i < mScript.Keys().size(); ++i) {
    if (mScript.Keys()[i].row->keyCommand == CommandKind::Calibrate) {
      return i;
    }
  }
  throw DriverFailure("no calibrate key");
}

// Every key appears, and a release of the calibrate key tells the driver
// the plug-in's notification window: the sender of its commands.
void SoakRun::Begin() {
  SendStep(mScript.AppearAll());
  mSession.Send(KeyEvent("willAppear", kFinalAction, kFinalContext, kFinalPosition));
  SendStep(mScript.Press(CalibrateKey()));
  const Clock::time_point deadline = Clock::now() + mGuard;
  while (mPluginWindow == nullptr && Clock::now() < deadline) {
    DrainCommands(std::chrono::milliseconds(50));
    mFrames.ThrowIfFault();
  }
  if (mPluginWindow == nullptr) {
    throw DriverFailure("the first key release did not reach the desktop window within " +
                        std::to_string(mGuard.count()) + " ms (hang guard)");
  }
}

void SoakRun::Sample(double second, const Notifiers &notifier) {
  if (mSession.HasEnded()) {
    throw DriverFailure("the plug-in process ended during the soak");
  }
  mFrames.ThrowIfFault();
  if (notifier.Refused() > 0) {
    throw DriverFailure(std::to_string(notifier.Refused()) +
                        " notification(s) were refused or not answered by the plug-in");
  }
  mSamples.push_back(RssSample{second, ReadMemory(mSession.Pid()).rssKiB});
  if (mSamples.size() % 30 == 0) {
    std::cout << "== " << FormatNumber(second) << " s: " << mSteps << " events, "
              << mLedger.Delivered() << " commands delivered, " << notifier.Sent()
              << " notifications, VmRSS " << FormatNumber(KiBToMiB(mSamples.back().rssKiB))
              << " MiB" << std::endl;
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
  SendStep(mScript.Press(CalibrateKey()));
  mSession.Send(KeyEvent("didReceiveSettings", kFinalAction, kFinalContext, kFinalPosition,
                         ImageSettings(mOptions.keyImagePath)));
  const Clock::time_point deadline = Clock::now() + mGuard;
  while (mLedger.Outstanding() > 0 && Clock::now() < deadline) {
    DrainCommands(std::chrono::milliseconds(10));
    mFrames.ThrowIfFault();
  }
  if (mLedger.Outstanding() > 0) {
    throw DriverFailure(std::to_string(mLedger.Outstanding()) +
                        " key release command(s) did not reach the desktop window within " +
                        std::to_string(mGuard.count()) + " ms after the load (hang guard)");
  }
  if (!mFrames.WaitForCount(FrameKind::Final, 1, mGuard)) {
    mFrames.ThrowIfFault();
    throw DriverFailure("the last event got no reply within " + std::to_string(mGuard.count()) +
                        " ms (hang guard)");
  }
  if (mFrames.Count(FrameKind::KeyImage) != mKeyImages) {
    throw DriverFailure("the events asked for " + std::to_string(mKeyImages) +
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
  const double notifyRate =
      static_cast<double>(notifier.Sent()) / notifier.SendingSeconds() / 1000.0;
  figures.push_back({"soak_seconds", "load duration", mLoadSeconds, "s", Goal::None, 0});
  figures.push_back({"events", "Stream Deck events sent", static_cast<double>(mEventFrames), "",
                     Goal::None, 0, Breakdown(mEventKinds)});
  figures.push_back({"key_presses", "key presses (keyDown and keyUp)",
                     static_cast<double>(mPresses), "", Goal::None, 0});
  figures.push_back({"commands_delivered", "key release commands delivered, in order",
                     static_cast<double>(mLedger.Delivered()), "", Goal::AtLeast,
                     static_cast<double>(mLedger.Delivered() + mLedger.Outstanding()),
                     "a release of a text key without text sends nothing"});
  figures.push_back({"list_requests", "list requests delivered",
                     static_cast<double>(mLedger.ListRequests()), "", Goal::None, 0});
  figures.push_back({"notifications", "desktop notifications sent, all accepted",
                     static_cast<double>(notifier.Sent()), "", Goal::None, 0});
  figures.push_back({"notifications_per_ms", "desktop notifications per ms", notifyRate, "/ms",
                     Goal::AtLeast, kRateShare * mOptions.notificationsPerMs});
  figures.push_back({"frames", "frames from the plug-in, each one checked",
                     static_cast<double>(mFrames.Frames()), "", Goal::None, 0,
                     "key images " + std::to_string(mFrames.Count(FrameKind::KeyImage)) +
                         ", quick-slot images " +
                         std::to_string(mFrames.Count(FrameKind::QuickslotImage)) + ", states " +
                         std::to_string(mFrames.Count(FrameKind::State)) + ", inspector payloads " +
                         std::to_string(mFrames.Count(FrameKind::Inspector))});
  const MemoryVerdict memory = JudgeMemory(mSamples, mOptions.memory);
  figures.push_back({"rss_after_warm_up_mib", "VmRSS after warm-up (median of a window)",
                     KiBToMiB(memory.baselineKiB), "MiB", Goal::None, 0});
  figures.push_back({"rss_end_mib", "VmRSS at the end (median of the last window)",
                     KiBToMiB(memory.endKiB), "MiB", Goal::AtMost,
                     KiBToMiB(memory.baselineKiB + memory.allowedKiB), memory.explanation});
  figures.push_back(
      {"exit_ms", "exit after the host closes the connection", exitMs, "ms", Goal::None, 0});
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

// The plug-in is silent by design: whatever it wrote (a sanitizer's report
// above all) is a failure.
std::string PluginOutput(const std::string &path) {
  try {
    return ReadFile(path);
  } catch (const DriverFailure &) {
    return std::string(); // it never started
  }
}

} // namespace

std::vector<std::string> RunSoak(const Options &given, const std::string &folder) {
  Options options = given;
  if (options.outputPath.empty()) {
    options.outputPath = folder + "/plugin-output.txt";
  }
  SoakLists(); // made before any thread needs them
  SoakResult result;
  try {
    result = SoakRun(options).Run();
  } catch (const std::exception &) {
    const std::string output = PluginOutput(options.outputPath);
    if (!output.empty()) {
      std::cerr << "the plug-in's output:\n" << output.substr(0, 8192) << std::endl;
    }
    throw;
  }
  const std::string output = PluginOutput(options.outputPath);
  if (!output.empty()) {
    result.failures.push_back("the plug-in wrote " + std::to_string(output.size()) +
                              " bytes to its output:\n" + output.substr(0, 8192));
  }
  std::cout << "\n";
  PrintTable(result.figures, std::cout);
  for (const std::string &note : result.notes) {
    std::cout << "soak: note: " << note << std::endl;
  }
  return result.failures;
}

} // namespace host_driver
