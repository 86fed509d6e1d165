// The commands that the plug-in sends to the desktop application. Each is an
// immutable value that knows its kind code and writes itself as the command
// text: empty for commands without a value, else {"value1":<value>} and a
// line feed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace CommandKind {
constexpr std::uint32_t Broadcast = 0x80000;
constexpr std::uint32_t Calibrate = 0x80001;
constexpr std::uint32_t SpecialAction = 0x80002;
constexpr std::uint32_t Pose = 0x80003;
constexpr std::uint32_t ChangeAvatar = 0x80004;
constexpr std::uint32_t ChangeBackground = 0x80005;
constexpr std::uint32_t GetAvatarList = 0x80006;
constexpr std::uint32_t GetBackgroundList = 0x80007;
constexpr std::uint32_t Emote = 0x80008;
constexpr std::uint32_t GetEmoteList = 0x80009;
constexpr std::uint32_t GetSpecialActionList = 0x8000A;
constexpr std::uint32_t GetPoseList = 0x8000B;
constexpr std::uint32_t Quickslot = 0x8000C;
constexpr std::uint32_t GetQuickslotList = 0x8000D;
constexpr std::uint32_t Idle = 0x8000E;
constexpr std::uint32_t GetIdleList = 0x8000F;
} // namespace CommandKind

class cCommand {
public:
  virtual ~cCommand() = default;
  virtual std::uint32_t GetKind() const = 0;
  virtual std::string Serialize() const = 0;
};

// The command text of a value, written compactly with the JSON library's own escaping.
std::string SerializeValue1(std::int32_t value);
std::string SerializeValue1(const std::string &value);

// The three shapes of command, for a kind known only at run time (the key
// action table's); the typed commands below are these with their kind fixed.
class cValuelessCommandOfKind : public cCommand {
public:
  explicit cValuelessCommandOfKind(std::uint32_t kind) : mKind(kind) {}
  std::uint32_t GetKind() const override { return mKind; }
  std::string Serialize() const override { return std::string(); }

private:
  const std::uint32_t mKind;
};

class cIntegerCommandOfKind : public cCommand {
public:
  cIntegerCommandOfKind(std::uint32_t kind, std::int32_t value) : mKind(kind), mValue(value) {}
  std::uint32_t GetKind() const override { return mKind; }
  std::string Serialize() const override { return SerializeValue1(mValue); }

private:
  const std::uint32_t mKind;
  const std::int32_t mValue;
};

class cTextCommandOfKind : public cCommand {
public:
  cTextCommandOfKind(std::uint32_t kind, std::string value)
      : mKind(kind), mValue(std::move(value)) {}
  std::uint32_t GetKind() const override { return mKind; }
  std::string Serialize() const override { return SerializeValue1(mValue); }

private:
  const std::uint32_t mKind;
  const std::string mValue;
};

template <std::uint32_t Kind> class cValuelessCommand : public cValuelessCommandOfKind {
public:
  cValuelessCommand() : cValuelessCommandOfKind(Kind) {}
};

template <std::uint32_t Kind> class cIntegerCommand : public cIntegerCommandOfKind {
public:
  explicit cIntegerCommand(std::int32_t value) : cIntegerCommandOfKind(Kind, value) {}
};

template <std::uint32_t Kind> class cTextCommand : public cTextCommandOfKind {
public:
  explicit cTextCommand(std::string value) : cTextCommandOfKind(Kind, std::move(value)) {}
};

using cCommandBroadcast = cValuelessCommand<CommandKind::Broadcast>;
using cCommandCalibrate = cValuelessCommand<CommandKind::Calibrate>;
using cCommandSpecialAction = cIntegerCommand<CommandKind::SpecialAction>;
using cCommandPose = cIntegerCommand<CommandKind::Pose>;
using cCommandChangeAvatar = cTextCommand<CommandKind::ChangeAvatar>;
using cCommandChangeBackground = cTextCommand<CommandKind::ChangeBackground>;
using cCommandGetAvatarList = cValuelessCommand<CommandKind::GetAvatarList>;
using cCommandGetBackgroundList = cValuelessCommand<CommandKind::GetBackgroundList>;
using cCommandEmote = cTextCommand<CommandKind::Emote>;
using cCommandGetEmoteList = cValuelessCommand<CommandKind::GetEmoteList>;
using cCommandGetSpecialActionList = cValuelessCommand<CommandKind::GetSpecialActionList>;
using cCommandGetPoseList = cValuelessCommand<CommandKind::GetPoseList>;
using cCommandQuickslot = cTextCommand<CommandKind::Quickslot>;
using cCommandGetQuickslotList = cValuelessCommand<CommandKind::GetQuickslotList>;
using cCommandIdle = cIntegerCommand<CommandKind::Idle>;
using cCommandGetIdleList = cValuelessCommand<CommandKind::GetIdleList>;
