#include "measures.h"
#include "messages.h"
#include "options.h"
#include "session.h"

#include "platform/platform.h"
#include "plugin/dial_strip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

namespace host_driver {
namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

const char kBroadcastContext[] = "BENCHBROADCAST";
const char kDialContext[] = "BENCHDIAL";
constexpr int kDialPosition = 0;
constexpr std::size_t kDialItems = 200;
// The entry that the dial has stored when the list arrives: the 101st, halfway.
constexpr std::size_t kStoredItem = 100;
// The picture of the list actions' built-in strip layout is a square of this many pixels.
constexpr int kStripPictureBox = 48;
// Builds before the pictures were fitted showed a thumbnail only when it was
// a PNG file of at most this size.
constexpr std::uint64_t kMaxSmallPngBytes = 64 * 1024;
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";
// The plug-in has made a new list's pictures once it has been quiet this
// long; the driver looks this often.
constexpr std::chrono::milliseconds kQuietHold{100};
constexpr std::chrono::milliseconds kQuietPoll{5};
// What the wait for a list's pictures allows for each entry beyond the hang
// guard: a 2,048 px photo takes up to a quarter of a second.
constexpr std::chrono::milliseconds kPictureAllowance{1000};
// The ticks of the timed turns, over and over: small turns both ways, as a
// hand makes them, six entries onwards every ten turns.
constexpr int kTicks[] = {-1, 1, 2, -1, 3, -2, 1, 1, -3, 5};
// The image keys fill positions 0..30 of an 8 x 4 device; the broadcast key is the last one.
constexpr std::size_t kImageKeys = 31;
constexpr int kBroadcastPosition = 31;
constexpr std::size_t kSessionMessageLimit = 64u << 20;

void Announce(const std::string &step) { std::cout << "== " << step << std::endl; }

// Pseudo-random bytes, every one written: no hole in the file.
void WriteFilledFile(const std::string &path, std::uint64_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  std::vector<std::uint64_t> chunk((1u << 20) / sizeof(std::uint64_t));
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (std::uint64_t written = 0; file && written < size; written += 1u << 20) {
    for (std::uint64_t &word : chunk) {
      word = NextRandom(state);
    }
    const std::uint64_t part = std::min<std::uint64_t>(size - written, 1u << 20);
    file.write(reinterpret_cast<const char *>(chunk.data()), static_cast<std::streamsize>(part));
  }
  file.close();
  if (!file) {
    throw DriverFailure("cannot write " + path);
  }
}

void WriteBytes(const std::string &path, const std::string &bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  file.close();
  if (!file) {
    throw DriverFailure("cannot write " + path);
  }
}

void SleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The replies to events 0..count-1 of a burst, event i naming key KeyOfEvent(i).
std::vector<const std::string *> RepliesInOrder(const std::vector<std::string> &replies,
                                                std::size_t count) {
  std::vector<const std::string *> ordered(count);
  for (std::size_t i = 0; i < count; ++i) {
    ordered[i] = &replies[KeyOfEvent(i, replies.size())];
  }
  return ordered;
}

// The keys of the session: each shows the key image, and each has its
// settings event and the setImage that answers it.
struct ImageKeys {
  std::vector<std::string> appear;
  std::vector<std::string> settings;
  std::vector<std::string> replies;

  explicit ImageKeys(const std::string &imagePath) {
    const std::string png = ReadFile(imagePath);
    const std::string action = std::string(Action::ChangeAvatar);
    for (std::size_t key = 0; key < kImageKeys; ++key) {
      char context[32];
      std::snprintf(context, sizeof context, "BENCHKEY%02zu", key);
      const int position = static_cast<int>(key);
      appear.push_back(KeyEvent("willAppear", action, context, position));
      settings.push_back(
          KeyEvent("didReceiveSettings", action, context, position, ImageSettings(imagePath)));
      replies.push_back(SetImageText(context, png));
    }
  }
};

// A plug-in session whose every reply is checked byte for byte, in order:
// the checker is made before the session that hands it the frames.
struct BenchSession {
  BenchSession(const Options &options, std::size_t messageLimit)
      : plugin(options.pluginPath, options.Guard(), messageLimit, replies) {}

  // Sends `count` settings events, event i for key KeyOfEvent(i), expecting
  // the matching setImage replies in the same order.
  void SendBurst(const ImageKeys &keys, std::size_t count) {
    replies.Expect(RepliesInOrder(keys.replies, count));
    for (std::size_t i = 0; i < count; ++i) {
      plugin.Send(keys.settings[KeyOfEvent(i, kImageKeys)]);
    }
  }

  ReplyChecker replies;
  PluginSession plugin;
};

// The thumbnail files of the dial's list: the library folder's files in
// name order, or the key image alone.
std::vector<std::string> LibraryFiles(const Options &options) {
  if (options.dialLibrary.empty()) {
    return {options.keyImagePath};
  }
  std::vector<std::string> files;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(options.dialLibrary, error), end;
       !error && entry != end; entry.increment(error)) {
    if (entry->is_regular_file()) {
      files.push_back(std::filesystem::absolute(entry->path()).string());
    }
  }
  if (error || files.empty()) {
    throw DriverFailure("the dial library " + options.dialLibrary + " holds no files");
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The PNG that the plug-in shows on the strip for a thumbnail file; empty
// when it shows the action's own picture instead.
std::string ShownPng(const std::string &file, StripPictures pictures) {
  if (pictures == StripPictures::Fitted) {
    return platform::MakeStripPicture(file, kStripPictureBox);
  }
  std::error_code error;
  if (std::filesystem::file_size(file, error) > kMaxSmallPngBytes || error) {
    return std::string();
  }
  const std::string bytes = ReadFile(file);
  return bytes.rfind(kPngSignature, 0) == 0 ? bytes : std::string();
}

// The strip naming the entry at `position` with `icon`.
std::string FeedbackText(const std::string &name, std::size_t position, const std::string &icon) {
  Json::Value feedback(Json::objectValue);
  feedback["value"] = name;
  feedback["icon"] = icon;
  // Where the entry stands: 0 at the first, 100 at the last, rounded.
  feedback["indicator"] =
      static_cast<int>(std::lround(100.0 * static_cast<double>(position) / (kDialItems - 1)));
  return ToPluginText("setFeedback", kDialContext, feedback);
}

// The desktop application's list of avatars for a dial: kDialItems entries,
// each with a thumbnail path of its own (a link in `folder` to a file of the
// library, the files taken in turn), as a real library of that many avatars
// has; and what the plug-in must send when the dial appears, when the list
// arrives and when a turn chooses each entry.
struct DialList {
  const KeyAction &row = *FindKeyAction(Action::ChangeAvatar);
  const std::string ownPicture = "images/encoders/changeavatar.png";
  std::string notification;          // the list, as the desktop application sends it
  std::vector<Json::Value> settings; // the dial's settings once entry i is chosen
  // What choosing entry i sends: setSettings, then setFeedback with its text and picture.
  std::vector<std::string> chosen;
  std::vector<std::string> shown;
  std::string appeared; // setFeedback when the dial appears: the action's name, the stored label
  std::string waiting;  // setFeedback of the stored entry while its picture is being made
  std::size_t libraryFiles = 0;
  std::size_t smallestPng = 0; // the PNGs shown, in bytes; 0 when none is shown
  std::size_t largestPng = 0;

  DialList(const Options &options, const std::string &folder) {
    const std::vector<std::string> library = LibraryFiles(options);
    libraryFiles = library.size();
    std::vector<std::string> icons;
    for (const std::string &file : library) {
      const std::string png = ShownPng(file, options.stripPictures);
      icons.push_back(png.empty() ? ownPicture : PngDataUrl(png));
      if (!png.empty()) {
        smallestPng = smallestPng == 0 ? png.size() : std::min(smallestPng, png.size());
        largestPng = std::max(largestPng, png.size());
      }
    }
    Json::Value document(Json::objectValue);
    document["listType"] = row.listType;
    document["imagePath"] = folder;
    Json::Value &items = document["itemList"];
    for (std::size_t i = 0; i < kDialItems; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, "%03zu", i + 1);
      const std::string value = std::string("avatar-") + number;
      const std::string name = std::string("Avatar ") + number;
      const std::string &file = library[i % library.size()];
      const std::string link = value + std::filesystem::path(file).extension().string();
      std::filesystem::create_symlink(file, folder + "/" + link);
      Json::Value &item = items.append(Json::Value(Json::objectValue));
      item["name"] = name;
      item["value"] = value;
      item["image"] = link;
      settings.emplace_back(Json::objectValue)["value"] = value;
      settings.back()["label"] = name;
      chosen.push_back(ToPluginText("setSettings", kDialContext, settings.back()));
      shown.push_back(FeedbackText(name, i, icons[i % library.size()]));
    }
    notification = CompactJson(document);
    const std::string storedName = settings[kStoredItem]["label"].asString();
    Json::Value feedback(Json::objectValue);
    feedback["value"] = storedName;
    feedback["title"] = std::string(row.name);
    appeared = ToPluginText("setFeedback", kDialContext, feedback);
    waiting = FeedbackText(storedName, kStoredItem, ownPicture);
  }
};

// Dial turns sent at once: each event, with the settings the host holds at
// that moment, and the two replies each must get.
struct Turns {
  std::vector<std::string> events;
  std::vector<const std::string *> replies;
  std::uint64_t settingsBytes = 0; // of the setSettings texts
  std::uint64_t feedbackBytes = 0; // of the setFeedback texts
};

// `count` turns from the entry at `current`, which follows them; turn i by
// `ticksOf(i)` clicks.
Turns MakeTurns(const DialList &list, std::size_t &current, std::size_t count,
                const std::function<int(std::size_t)> &ticksOf) {
  Turns turns;
  const std::string action(list.row.identifier);
  for (std::size_t i = 0; i < count; ++i) {
    const int ticks = ticksOf(i);
    turns.events.push_back(DialEvent("dialRotate", action, kDialContext, kDialPosition,
                                     list.settings[current], ticks));
    current = TurnedPosition(static_cast<std::int64_t>(current), ticks, kDialItems);
    turns.replies.push_back(&list.chosen[current]);
    turns.replies.push_back(&list.shown[current]);
    turns.settingsBytes += list.chosen[current].size();
    turns.feedbackBytes += list.shown[current].size();
  }
  return turns;
}

int HandTicks(std::size_t turn) { return kTicks[turn % (sizeof kTicks / sizeof kTicks[0])]; }

void SendTurns(BenchSession &session, const Turns &turns) {
  for (const std::string &turn : turns.events) {
    session.plugin.Send(turn);
  }
}

void MeasureStartUp(BenchSession &session, std::vector<Figure> &figures) {
  const Memory memory = ReadMemory(session.plugin.Pid());
  const std::size_t threads = SampleThreads(session.plugin.Pid()).size();
  figures.push_back({"startup_ms", "start-up, launch to registration", session.plugin.StartUpMs(),
                     "ms", Goal::Report, 11});
  figures.push_back({"rss_after_registration_mib", "VmRSS after registration",
                     KiBToMiB(memory.rssKiB), "MiB", Goal::Report, 4.3});
  figures.push_back({"threads_after_registration", "threads after registration",
                     static_cast<double>(threads), "", Goal::Report, 3});
}

void MeasureIdle(BenchSession &session, const Options &options, std::vector<Figure> &figures) {
  if (options.idleSeconds <= 0) {
    return;
  }
  Announce("idle for " + FormatNumber(options.idleSeconds) + " s");
  SleepSeconds(0.2); // what start-up left to do is not idling
  const ProcessSample before = SampleThreads(session.plugin.Pid());
  SleepSeconds(options.idleSeconds);
  const Usage usage = UsageBetween(before, SampleThreads(session.plugin.Pid()));
  figures.push_back({"idle_wakeups",
                     "wake-ups in " + FormatNumber(options.idleSeconds) +
                         " s idle (context switches, all threads)",
                     static_cast<double>(usage.switches), "", Goal::Report, 1});
}

std::string EndedThreadsNote(const Usage &usage) {
  return usage.endedThreads == 0 ? std::string()
                                 : std::to_string(usage.endedThreads) +
                                       " thread(s) ended during the phase; part of their time "
                                       "is missing";
}

void MeasureSequential(BenchSession &session, const ImageKeys &keys, const Options &options,
                       std::vector<Figure> &figures) {
  const std::size_t count = options.sequential;
  if (count == 0) {
    return;
  }
  Announce("sequential round trips: " + std::to_string(count));
  session.replies.Expect(RepliesInOrder(keys.replies, count));
  const ProcessSample before = SampleThreads(session.plugin.Pid());
  for (std::size_t i = 0; i < count; ++i) {
    session.plugin.Send(keys.settings[KeyOfEvent(i, kImageKeys)]);
    session.replies.WaitForCount(i + 1, session.plugin.Guard());
  }
  const Usage usage = UsageBetween(before, SampleThreads(session.plugin.Pid()));
  figures.push_back(Figure{"cpu_per_event_sequential_us",
                           "plug-in CPU per event, sequential round trips",
                           static_cast<double>(usage.runNs) / 1000.0 / static_cast<double>(count),
                           "us", Goal::AtMost, 45, EndedThreadsNote(usage)});
}

void MeasurePipelined(BenchSession &session, const ImageKeys &keys, const Options &options,
                      std::vector<Figure> &figures) {
  const std::size_t count = options.pipelined;
  if (count == 0) {
    return;
  }
  Announce("pipelined: " + std::to_string(count) + " events sent at once");
  const ProcessSample before = SampleThreads(session.plugin.Pid());
  const std::chrono::nanoseconds hostBefore = session.plugin.NetworkThreadCpu();
  const Clock::time_point start = Clock::now();
  session.SendBurst(keys, count);
  session.replies.WaitForCount(count, session.plugin.Guard());
  const double seconds =
      std::chrono::duration<double>(session.replies.LastArrival() - start).count();
  const Usage usage = UsageBetween(before, SampleThreads(session.plugin.Pid()));
  const double hostBusy =
      std::chrono::duration<double>(session.plugin.NetworkThreadCpu() - hostBefore).count();
  const Memory memory = ReadMemory(session.plugin.Pid());
  figures.push_back(Figure{"cpu_per_event_pipelined_us",
                           "plug-in CPU per event, " + std::to_string(count) + " pipelined",
                           static_cast<double>(usage.runNs) / 1000.0 / static_cast<double>(count),
                           "us", Goal::AtMost, 40, EndedThreadsNote(usage)});
  figures.push_back({"pipelined_replies_per_s", "pipelined replies per second",
                     static_cast<double>(count) / seconds, "/s", Goal::AtLeast, 20000});
  figures.push_back({"host_busy_during_burst_percent",
                     "host's network thread busy during the burst", 100.0 * hostBusy / seconds, "%",
                     Goal::None, 0});
  figures.push_back({"rss_after_burst_mib", "VmRSS after the pipelined burst",
                     KiBToMiB(memory.rssKiB), "MiB", Goal::AtMost, 16});
}

// What the plug-in held at the end of a stall, and how many replies the host
// took during it.
struct Stall {
  Memory memory;
  std::size_t readDuringStall = 0;
};

// The host stops reading while `send` sends a burst whose `replies` replies
// the checker expects; after the stall it reads again and waits for them all.
Stall StallWhileSending(BenchSession &session, const Options &options, std::size_t replies,
                        const std::function<void()> &send) {
  // A read already waiting when the pause begins still completes: at most
  // one read buffer (16 KiB) of replies is taken during the stall.
  session.plugin.PauseReading();
  const Clock::time_point paused = Clock::now();
  send();
  std::this_thread::sleep_until(paused + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(options.stallSeconds)));
  Stall stall{ReadMemory(session.plugin.Pid()), session.replies.Received()};
  session.plugin.ResumeReading();
  session.replies.WaitForCount(replies, session.plugin.Guard());
  return stall;
}

std::string StallNote(const Stall &stall) {
  return std::to_string(stall.readDuringStall) +
         " replies read during the stall; all arrived in order once reading resumed";
}

void MeasureStalled(BenchSession &session, const ImageKeys &keys, const Options &options,
                    std::vector<Figure> &figures) {
  const std::size_t count = options.stalled;
  if (count == 0) {
    return;
  }
  Announce("stalled: the host stops reading for " + FormatNumber(options.stallSeconds) +
           " s while it sends " + std::to_string(count) + " events");
  const Stall stall =
      StallWhileSending(session, options, count, [&] { session.SendBurst(keys, count); });
  figures.push_back({"rss_stalled_mib",
                     "VmRSS at the end of a " + FormatNumber(options.stallSeconds) + " s stall",
                     KiBToMiB(stall.memory.rssKiB), "MiB", Goal::AtMost, 24, StallNote(stall)});
}

// The one command that must reach the desktop window next: of `kind`, without data.
ReceivedCommand TakeValuelessCommand(BenchSession &session, DesktopWindow &desktop,
                                     std::uint64_t kind, const std::string &cause) {
  const std::vector<ReceivedCommand> commands = desktop.TakeAll(session.plugin.Guard());
  if (commands.empty()) {
    throw DriverFailure(cause + ": no command reached the desktop window within " +
                        std::to_string(session.plugin.Guard().count()) + " ms (hang guard)");
  }
  const ReceivedCommand &command = commands.front();
  if (commands.size() > 1 || command.kind != kind || command.size != 0 || command.hasData) {
    throw DriverFailure(cause + ": the desktop window got " + std::to_string(commands.size()) +
                        " command(s), the first of kind " + KindText(command.kind) + " with " +
                        std::to_string(command.size) + " bytes, expected one command of kind " +
                        KindText(kind) + " without data");
  }
  return command;
}

void MeasureKeyRelease(BenchSession &session, const Options &options,
                       std::vector<Figure> &figures) {
  if (options.presses == 0) {
    return;
  }
  Announce("key releases to the desktop window: " + std::to_string(options.presses));
  DesktopWindow desktop;
  const std::string action = std::string(Action::Broadcast);
  session.plugin.Send(KeyEvent("willAppear", action, kBroadcastContext, kBroadcastPosition));
  const std::string keyUp = KeyEvent("keyUp", action, kBroadcastContext, kBroadcastPosition);
  std::vector<double> latencies;
  for (std::size_t i = 0; i < options.presses; ++i) {
    // Presses come apart, as a hand makes them: each one finds the plug-in idle.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const Clock::time_point sent = Clock::now();
    session.plugin.Send(keyUp);
    const ReceivedCommand command = TakeValuelessCommand(session, desktop, CommandKind::Broadcast,
                                                         "key release " + std::to_string(i + 1));
    latencies.push_back(Milliseconds(command.arrival - sent).count());
  }
  session.replies.ThrowIfFault();
  figures.push_back({"keyup_latency_median_ms", "key release to the desktop window, median",
                     Percentile(latencies, 0.5), "ms", Goal::Report, 0.12});
  figures.push_back({"keyup_latency_p99_ms", "key release to the desktop window, p99",
                     Percentile(latencies, 0.99), "ms", Goal::Report, 0.31});
}

// The dial appears with its stored entry, which the strip names by its
// label, and asks for its action's list: the request comes back.
ReceivedCommand ShowDial(BenchSession &session, DesktopWindow &desktop, const DialList &list) {
  session.replies.Expect({&list.appeared});
  session.plugin.Send(DialEvent("willAppear", std::string(list.row.identifier), kDialContext,
                                kDialPosition, list.settings[kStoredItem]));
  const ReceivedCommand request =
      TakeValuelessCommand(session, desktop, list.row.listRequest, "the dial's list request");
  session.replies.WaitForCount(1, session.plugin.Guard());
  return request;
}

// The moment from which the plug-in has been quiet: no thread ran and every
// one slept for kQuietHold. Fails when that has not come within `limit`
// after `cause`.
Clock::time_point WaitUntilQuiet(BenchSession &session, std::chrono::milliseconds limit,
                                 const std::string &cause) {
  QuietWatch watch(kQuietHold);
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    const ProcessSample sample = SampleThreads(session.plugin.Pid());
    const Clock::time_point at = Clock::now();
    if (watch.Add(sample, at)) {
      session.replies.ThrowIfFault();
      return watch.QuietSince();
    }
    if (at > deadline) {
      throw DriverFailure("the plug-in was still busy " + std::to_string(limit.count()) +
                          " ms after " + cause);
    }
    std::this_thread::sleep_for(kQuietPoll);
  }
}

// The desktop window answers the dial's request with the list. The strip
// names the stored entry at once, with the action's own picture while the
// entry's picture is made and then again with its picture; the other
// entries' pictures are made after it. Measured from the list's sending:
// until the entry shows its picture, until the plug-in is quiet again (all
// pictures made), the CPU it spent, and its memory then and at its peak.
void ReceiveList(BenchSession &session, DesktopWindow &desktop, const ReceivedCommand &request,
                 const DialList &list, const Options &options, std::vector<Figure> &figures) {
  const bool fitted = options.stripPictures == StripPictures::Fitted;
  // A refused file shows the action's own picture once, and no picture after it.
  std::vector<const std::string *> frames{&list.shown[kStoredItem]};
  if (fitted && list.shown[kStoredItem] != list.waiting) {
    frames.insert(frames.begin(), &list.waiting);
  }
  session.replies.Expect(frames);
  const pid_t pid = session.plugin.Pid();
  // What the dial's appearance started (the list request's sender thread) is over.
  WaitUntilQuiet(session, session.plugin.Guard(), "the dial appeared");
  const bool peakReset = ResetPeakMemory(pid);
  const ProcessSample before = SampleThreads(pid);
  const Clock::time_point sent = Clock::now();
  if (!SendNotification(request.sender, desktop.Handle(), list.row.listKind, list.notification)) {
    throw DriverFailure("the plug-in refused the list of " + std::to_string(kDialItems) +
                        " avatars");
  }
  session.replies.WaitForCount(frames.size(), session.plugin.Guard());
  const Clock::time_point entryShown = session.replies.LastArrival();
  const Clock::time_point quiet =
      WaitUntilQuiet(session, session.plugin.Guard() + kDialItems * kPictureAllowance,
                     "the list of " + std::to_string(kDialItems) + " avatars");
  const Usage usage = UsageBetween(before, SampleThreads(pid));
  const Memory memory = ReadMemory(pid);
  const std::string items = std::to_string(kDialItems) + " entries, " +
                            std::to_string(list.libraryFiles) + " distinct files";
  if (frames.size() == 2) {
    figures.push_back({"list_entry_shown_ms", "new list: the dial's entry shown with its picture",
                       Milliseconds(entryShown - sent).count(), "ms", Goal::None, 0});
  }
  figures.push_back({"list_pictures_ms", "new list: until its pictures are made",
                     Milliseconds(quiet - sent).count(), "ms", Goal::None, 0,
                     items + "; until the plug-in was quiet (no thread ran) for " +
                         std::to_string(kQuietHold.count()) + " ms"});
  figures.push_back(Figure{"list_pictures_cpu_ms", "new list: plug-in CPU to take it and make them",
                           static_cast<double>(usage.runNs) / 1e6, "ms", Goal::None, 0,
                           EndedThreadsNote(usage)});
  figures.push_back({"rss_after_list_mib", "VmRSS once the list's pictures are made",
                     KiBToMiB(memory.rssKiB), "MiB", Goal::AtMost, 16});
  figures.push_back(
      {"hwm_list_pictures_mib", "VmHWM while the list's pictures are made", KiBToMiB(memory.hwmKiB),
       "MiB", Goal::AtMost, 48,
       peakReset ? std::string() : "the peak could not be reset before the list: the session's"});
}

// One click at a time round the whole list: every entry must show its picture
// at once, without the action's own picture first, so the list's pictures
// were all made.
void TurnThroughEveryEntry(BenchSession &session, const DialList &list, std::size_t &current) {
  const Turns turns = MakeTurns(list, current, kDialItems, [](std::size_t) { return 1; });
  session.replies.Expect(turns.replies);
  SendTurns(session, turns);
  session.replies.WaitForCount(turns.replies.size(), session.plugin.Guard());
}

void MeasureTimedTurns(BenchSession &session, const Options &options, const DialList &list,
                       std::size_t &current, std::vector<Figure> &figures) {
  const std::size_t count = options.turns;
  const Turns turns = MakeTurns(list, current, count, HandTicks);
  session.replies.Expect(turns.replies);
  const ProcessSample before = SampleThreads(session.plugin.Pid());
  SendTurns(session, turns);
  session.replies.WaitForCount(turns.replies.size(), session.plugin.Guard());
  const Usage usage = UsageBetween(before, SampleThreads(session.plugin.Pid()));
  const Memory memory = ReadMemory(session.plugin.Pid());
  const auto turned = static_cast<double>(count);
  const std::string pictures = list.largestPng == 0
                                   ? "no entry shows its thumbnail"
                                   : "the strip's PNGs " + std::to_string(list.smallestPng) +
                                         " - " + std::to_string(list.largestPng) + " B";
  figures.push_back(Figure{"cpu_per_turn_us",
                           "plug-in CPU per dial turn, " + std::to_string(count) + " sent at once",
                           static_cast<double>(usage.runNs) / 1000.0 / turned, "us", Goal::None, 0,
                           EndedThreadsNote(usage)});
  figures.push_back(
      {"bytes_per_turn", "bytes sent per dial turn (setSettings and setFeedback)",
       static_cast<double>(turns.settingsBytes + turns.feedbackBytes) / turned, "B", Goal::AtMost,
       8192,
       "setSettings " + FormatNumber(static_cast<double>(turns.settingsBytes) / turned) +
           " B, setFeedback " + FormatNumber(static_cast<double>(turns.feedbackBytes) / turned) +
           " B; " + pictures});
  figures.push_back({"rss_after_turns_mib", "VmRSS after the dial turns", KiBToMiB(memory.rssKiB),
                     "MiB", Goal::AtMost, 16});
}

void MeasureStalledTurns(BenchSession &session, const Options &options, const DialList &list,
                         std::size_t &current, std::vector<Figure> &figures) {
  if (options.stalled == 0) {
    return;
  }
  Announce("dial turns while the host stops reading for " + FormatNumber(options.stallSeconds) +
           " s");
  const Turns turns = MakeTurns(list, current, options.turns, HandTicks);
  session.replies.Expect(turns.replies);
  const Stall stall =
      StallWhileSending(session, options, turns.replies.size(), [&] { SendTurns(session, turns); });
  figures.push_back(
      {"rss_turns_stalled_mib",
       "VmRSS at the end of a " + FormatNumber(options.stallSeconds) + " s stall of dial turns",
       KiBToMiB(stall.memory.rssKiB), "MiB", Goal::AtMost, 24, StallNote(stall)});
}

// A dial of Change Avatar gets a list of kDialItems avatars with thumbnails
// and turns through it, every burst of turns sent at once: each turn must be
// answered with the chosen entry's setSettings and setFeedback, and none may
// send a command.
void MeasureDial(BenchSession &session, const Options &options, const std::string &folder,
                 std::vector<Figure> &figures) {
  if (options.turns == 0) {
    return;
  }
  Announce("a dial's list of " + std::to_string(kDialItems) + " avatars with thumbnails");
  const DialList list(options, folder);
  DesktopWindow desktop;
  const ReceivedCommand request = ShowDial(session, desktop, list);
  ReceiveList(session, desktop, request, list, options, figures);
  std::size_t current = kStoredItem;
  TurnThroughEveryEntry(session, list, current);
  Announce("dial turns: " + std::to_string(options.turns) + " sent at once");
  MeasureTimedTurns(session, options, list, current, figures);
  MeasureStalledTurns(session, options, list, current, figures);
  const std::vector<ReceivedCommand> commands = desktop.TakeAll(std::chrono::milliseconds(100));
  if (!commands.empty()) {
    throw DriverFailure("turning the dial sent " + std::to_string(commands.size()) +
                        " command(s) to the desktop window, the first of kind " +
                        KindText(commands.front().kind) + "; turning sends none");
  }
}

void RunImagePeak(const Options &options, std::size_t mib, const std::string &folder,
                  std::vector<Figure> &figures) {
  Announce("peak memory for one " + std::to_string(mib) + " MiB key image (fresh plug-in)");
  const std::string path = folder + "/key-" + std::to_string(mib) + "MiB.png";
  const std::uint64_t size = static_cast<std::uint64_t>(mib) << 20;
  WriteFilledFile(path, size);
  const std::string context = "BENCHLARGEKEY";
  const std::string expected = SetImageText(context, ReadFile(path));
  BenchSession session(options, expected.size() + 4096);
  const std::string action = std::string(Action::ChangeAvatar);
  session.plugin.Send(KeyEvent("willAppear", action, context, 0));
  SleepSeconds(0.2); // the key is recorded; nothing is sent for a key without image
  const Memory before = ReadMemory(session.plugin.Pid());
  session.replies.Expect({&expected});
  session.plugin.Send(KeyEvent("didReceiveSettings", action, context, 0, ImageSettings(path)));
  session.replies.WaitForCount(1, session.plugin.Guard());
  const Memory after = ReadMemory(session.plugin.Pid());
  session.plugin.CloseAndTimeExit();
  std::remove(path.c_str());
  const double grown = static_cast<double>(after.hwmKiB - before.hwmKiB) * 1024.0;
  figures.push_back(
      {"image_peak_multiple_" + std::to_string(mib) + "mib",
       "peak memory for one " + std::to_string(mib) + " MiB key image, multiple of its size",
       grown / static_cast<double>(size), "x", Goal::AtMost, 3,
       "VmHWM " + FormatNumber(KiBToMiB(before.hwmKiB)) + " -> " +
           FormatNumber(KiBToMiB(after.hwmKiB)) + " MiB"});
}

void RunSession(const Options &options, const std::string &folder, std::vector<Figure> &figures) {
  const ImageKeys keys(options.keyImagePath);
  Announce("start-up of " + options.pluginPath);
  BenchSession session(options, kSessionMessageLimit);
  MeasureStartUp(session, figures);
  MeasureIdle(session, options, figures);
  for (const std::string &appear : keys.appear) {
    session.plugin.Send(appear);
  }
  MeasureSequential(session, keys, options, figures);
  MeasurePipelined(session, keys, options, figures);
  MeasureStalled(session, keys, options, figures);
  MeasureKeyRelease(session, options, figures);
  MeasureDial(session, options, folder, figures);
  const Memory end = ReadMemory(session.plugin.Pid());
  figures.push_back({"hwm_session_mib", "VmHWM at the end of the session", KiBToMiB(end.hwmKiB),
                     "MiB", Goal::None, 0});
  figures.push_back({"exit_ms", "exit after the host closes the connection",
                     session.plugin.CloseAndTimeExit(), "ms", Goal::Report, 22});
}

void WriteJson(const std::vector<Figure> &figures, const Options &options) {
  Json::Value document(Json::objectValue);
  document["plugin"] = options.pluginPath;
  document["figures"] = FiguresAsJson(figures);
  WriteBytes(options.jsonPath, Json::StyledWriter().write(document));
}

} // namespace

std::vector<std::string> RunBench(const Options &options, const std::string &folder) {
  std::vector<Figure> figures;
  RunSession(options, folder, figures);
  for (const std::size_t mib : options.imageMiB) {
    RunImagePeak(options, mib, folder, figures);
  }
  std::cout << "\n";
  PrintTable(figures, std::cout);
  if (!options.jsonPath.empty()) {
    WriteJson(figures, options);
  }
  return {};
}

} // namespace host_driver
