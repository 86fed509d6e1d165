// What a copy-data handler saw of one message, copied while the data was
// valid, and the payload that the tests send: JSON text with its terminating
// NUL, as the desktop application sends it. For every platform.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

struct CopyRecord {
  platform::WindowHandle sender = nullptr;
  bool hasStructure = false;
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  bool hasBytes = false;
  std::string bytes;
};

inline CopyRecord RecordCopy(platform::WindowHandle sender, const platform::CopyData *data) {
  CopyRecord record;
  record.sender = sender;
  record.hasStructure = data != nullptr;
  if (data != nullptr) {
    record.kind = data->kind;
    record.size = data->size;
    record.hasBytes = data->data != nullptr;
    if (data->data != nullptr) {
      record.bytes.assign(static_cast<const char *>(data->data), data->size);
    }
  }
  return record;
}

inline const char kPayload[] = "{\"isBroadcasting\":true}";
// Wider than 32 bits, so that nothing on the way may cut the kind short.
inline constexpr std::uint64_t kWideKind = 0x0000000500160002ULL;

inline platform::CopyData Payload() {
  platform::CopyData data;
  data.kind = kWideKind;
  data.size = sizeof kPayload;
  data.data = kPayload;
  return data;
}

inline void ExpectPayload(const CopyRecord &record) {
  EXPECT_TRUE(record.hasStructure);
  EXPECT_EQ(record.kind, kWideKind);
  EXPECT_EQ(record.size, sizeof kPayload);
  EXPECT_TRUE(record.hasBytes);
  EXPECT_EQ(record.bytes, std::string(kPayload, sizeof kPayload));
}
