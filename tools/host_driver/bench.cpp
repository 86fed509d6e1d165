#include "measures.h"
#include "messages.h"
#include "options.h"
#include "session.h"

#include "plugin/dial_strip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
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
// A dial shows an item's thumbnail only up to this size.
constexpr std::size_t kMaxThumbnailBytes = 64 * 1024;
// The ticks of the turns, over and over: small turns both ways, as a hand
// makes them. The first, back from no item, lands on the last item; the
// second wraps round to the first.
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

std::string BigEndian32(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// The CRC-32 that a PNG chunk ends with, of its type and data.
std::uint32_t ChunkCrc(const std::string &bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) {
    crc ^= static_cast<unsigned char>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

// The PNG with a text chunk titled `title` after its header: a picture of
// the same size, and a file of its own for each item.
std::string TitledPng(const std::string &png, const std::string &title) {
  const std::size_t afterHeader = 8 + 25; // the signature and the IHDR chunk
  const std::string body = std::string("tEXtTitle") + '\0' + title;
  const std::string chunk =
      BigEndian32(static_cast<std::uint32_t>(body.size() - 4)) + body + BigEndian32(ChunkCrc(body));
  return png.substr(0, afterHeader) + chunk + png.substr(afterHeader);
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

// The desktop application's list of avatars for a dial: kDialItems items,
// each with its thumbnail file in `folder`, and what the plug-in must send
// when the dial appears and when a turn chooses each item.
struct DialList {
  const KeyAction &row = *FindKeyAction(Action::ChangeAvatar);
  std::string notification;          // the list, as the desktop application sends it
  std::vector<Json::Value> settings; // the dial's settings once item i is chosen
  // What choosing item i sends: setSettings, then setFeedback with its text and thumbnail.
  std::vector<std::string> chosen;
  std::vector<std::string> shown;
  std::string appeared; // setFeedback with the action's name and no item yet
  std::string listed;   // setFeedback once the list is there, still no item

  DialList(const std::string &imagePath, const std::string &folder) {
    const std::string png = ReadFile(imagePath);
    if (png.size() + 256 > kMaxThumbnailBytes) { // room for the text chunk
      throw DriverFailure(imagePath + " is too large for a dial's thumbnail (64 KiB at most)");
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
      const std::string thumbnail = TitledPng(png, name);
      WriteBytes(folder + "/" + value + ".png", thumbnail);
      Json::Value &item = items.append(Json::Value(Json::objectValue));
      item["name"] = name;
      item["value"] = value;
      item["image"] = value + ".png";
      settings.emplace_back(Json::objectValue)["value"] = value;
      settings.back()["label"] = name;
      chosen.push_back(ToPluginText("setSettings", kDialContext, settings.back()));
      Json::Value feedback(Json::objectValue);
      feedback["value"] = name;
      feedback["icon"] = PngDataUrl(thumbnail);
      // Where the item stands: 0 at the first, 100 at the last, rounded.
      feedback["indicator"] =
          static_cast<int>(std::lround(100.0 * static_cast<double>(i) / (kDialItems - 1)));
      shown.push_back(ToPluginText("setFeedback", kDialContext, feedback));
    }
    notification = CompactJson(document);
    Json::Value feedback(Json::objectValue);
    feedback["value"] = "";
    feedback["title"] = std::string(row.name);
    appeared = ToPluginText("setFeedback", kDialContext, feedback);
    feedback.removeMember("title");
    feedback["icon"] = "images/encoders/changeavatar.png"; // the action's own picture
    feedback["indicator"] = 0;                             // no item chosen yet
    listed = ToPluginText("setFeedback", kDialContext, feedback);
  }
};

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

void MeasureStalled(BenchSession &session, const ImageKeys &keys, const Options &options,
                    std::vector<Figure> &figures) {
  const std::size_t count = options.stalled;
  if (count == 0) {
    return;
  }
  Announce("stalled: the host stops reading for " + FormatNumber(options.stallSeconds) +
           " s while it sends " + std::to_string(count) + " events");
  // A read already waiting when the pause begins still completes: at most
  // one read buffer (16 KiB) of replies is taken during the stall.
  session.plugin.PauseReading();
  const Clock::time_point paused = Clock::now();
  session.SendBurst(keys, count);
  std::this_thread::sleep_until(paused + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(options.stallSeconds)));
  const Memory memory = ReadMemory(session.plugin.Pid());
  const std::size_t readDuringStall = session.replies.Received();
  session.plugin.ResumeReading();
  session.replies.WaitForCount(count, session.plugin.Guard());
  figures.push_back(
      {"rss_stalled_mib",
       "VmRSS at the end of a " + FormatNumber(options.stallSeconds) + " s stall",
       KiBToMiB(memory.rssKiB), "MiB", Goal::AtMost, 24,
       std::to_string(readDuringStall) +
           " replies read during the stall; all arrived in order once reading resumed"});
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

// The dial appears and asks for its action's list, which the desktop window
// answers: the strip shows the action's name, then, with nothing chosen yet,
// no item.
void ShowDial(BenchSession &session, DesktopWindow &desktop, const DialList &list) {
  session.replies.Expect({&list.appeared, &list.listed});
  const std::string action(list.row.identifier);
  session.plugin.Send(
      DialEvent("willAppear", action, kDialContext, kDialPosition, Json::Value(Json::objectValue)));
  const ReceivedCommand request =
      TakeValuelessCommand(session, desktop, list.row.listRequest, "the dial's list request");
  session.replies.WaitForCount(1, session.plugin.Guard());
  if (!SendNotification(request.sender, desktop.Handle(), list.row.listKind, list.notification)) {
    throw DriverFailure("the plug-in refused the list of " + std::to_string(kDialItems) +
                        " avatars");
  }
  session.replies.WaitForCount(2, session.plugin.Guard());
}

// Turns a dial of Change Avatar through a list of kDialItems avatars with
// thumbnails, every turn sent at once: each must be answered with the chosen
// item's setSettings and setFeedback, and none may send a command.
void MeasureDialTurns(BenchSession &session, const Options &options, const std::string &folder,
                      std::vector<Figure> &figures) {
  const std::size_t count = options.turns;
  if (count == 0) {
    return;
  }
  Announce("dial turns: " + std::to_string(count) + " sent at once through a list of " +
           std::to_string(kDialItems) + " avatars with thumbnails");
  const DialList list(options.keyImagePath, folder);
  DesktopWindow desktop;
  ShowDial(session, desktop, list);
  const std::string action(list.row.identifier);
  std::vector<std::string> turns;
  std::vector<const std::string *> replies;
  std::uint64_t bytes = 0;
  std::int64_t current = -1;
  for (std::size_t i = 0; i < count; ++i) {
    const Json::Value settings = current < 0 ? Json::Value(Json::objectValue)
                                             : list.settings[static_cast<std::size_t>(current)];
    const int ticks = kTicks[i % (sizeof kTicks / sizeof kTicks[0])];
    turns.push_back(DialEvent("dialRotate", action, kDialContext, kDialPosition, settings, ticks));
    const std::size_t chosen = TurnedPosition(current, ticks, kDialItems);
    replies.push_back(&list.chosen[chosen]);
    replies.push_back(&list.shown[chosen]);
    bytes += list.chosen[chosen].size() + list.shown[chosen].size();
    current = static_cast<std::int64_t>(chosen);
  }
  session.replies.Expect(std::move(replies));
  const ProcessSample before = SampleThreads(session.plugin.Pid());
  for (const std::string &turn : turns) {
    session.plugin.Send(turn);
  }
  session.replies.WaitForCount(2 * count, session.plugin.Guard());
  const Usage usage = UsageBetween(before, SampleThreads(session.plugin.Pid()));
  const Memory memory = ReadMemory(session.plugin.Pid());
  const std::vector<ReceivedCommand> commands = desktop.TakeAll(std::chrono::milliseconds(100));
  if (!commands.empty()) {
    throw DriverFailure("turning the dial sent " + std::to_string(commands.size()) +
                        " command(s) to the desktop window, the first of kind " +
                        KindText(commands.front().kind) + "; turning sends none");
  }
  const auto turned = static_cast<double>(count);
  figures.push_back(Figure{"cpu_per_turn_us",
                           "plug-in CPU per dial turn, " + std::to_string(count) + " sent at once",
                           static_cast<double>(usage.runNs) / 1000.0 / turned, "us", Goal::None, 0,
                           EndedThreadsNote(usage)});
  figures.push_back({"bytes_per_turn", "bytes sent per dial turn (setSettings and setFeedback)",
                     static_cast<double>(bytes) / turned, "B", Goal::None, 0});
  figures.push_back({"rss_after_turns_mib", "VmRSS after the dial turns", KiBToMiB(memory.rssKiB),
                     "MiB", Goal::AtMost, 16});
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
  MeasureDialTurns(session, options, folder, figures);
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
