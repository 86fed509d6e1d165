#include "plugin/list_items.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace {

// Member names are compared without case, "_" or "-", in the order of these
// lists; items.js has the same lists.
const char *const kTextMembers[] = {"name", "displayname", "title", "label", "text"};
const char *const kValueMembers[] = {"value", "id", "index"};
const char *const kThumbnailMembers[] = {"thumbnail", "thumbnailpath", "thumb",  "image",
                                         "imagepath", "icon",          "preview"};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsFiniteNumber(const Json::Value &value) {
  return value.isNumeric() && !value.isBool() && std::isfinite(value.asDouble());
}

// A non-empty string or a finite number: the only member values that count.
bool IsUsable(const Json::Value &value) {
  return (value.isString() && !value.asString().empty()) || IsFiniteNumber(value);
}

// A member name lower-cased without "_" and "-". A name with other than ASCII
// never equals one of the lists' names, whatever its case.
std::optional<std::string> NormalMemberName(const std::string &name) {
  std::string normal;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return std::nullopt;
    }
    if (c != '_' && c != '-') {
      normal += AsciiLower(c);
    }
  }
  return normal;
}

// The usable value of the first of `names` that the item has. Of several
// members with the same normal name, the first one counts (in the JSON
// library's order of member names).
template <std::size_t N>
const Json::Value *PickMember(const Json::Value &item, const char *const (&names)[N]) {
  std::map<std::string, const Json::Value *> found;
  for (auto member = item.begin(); member != item.end(); ++member) {
    if (const auto normal = NormalMemberName(member.name())) {
      found.emplace(*normal, &*member);
    }
  }
  for (const char *name : names) {
    const auto member = found.find(name);
    if (member != found.end() && IsUsable(*member->second)) {
      return member->second;
    }
  }
  return nullptr;
}

// The whitespace that JavaScript's \s and Number() skip, in UTF-8: the length
// of the one that starts at `at` (or, with `before`, ends just before it), 0
// for none.
std::size_t SpaceLength(std::string_view text, std::size_t at, bool before) {
  static const std::string_view kSpaces[] = {"\t",           "\n",           "\v",
                                             "\f",           "\r",           " ",
                                             "\xc2\xa0",     "\xe1\x9a\x80", "\xe2\x80\x80",
                                             "\xe2\x80\x81", "\xe2\x80\x82", "\xe2\x80\x83",
                                             "\xe2\x80\x84", "\xe2\x80\x85", "\xe2\x80\x86",
                                             "\xe2\x80\x87", "\xe2\x80\x88", "\xe2\x80\x89",
                                             "\xe2\x80\x8a", "\xe2\x80\xa8", "\xe2\x80\xa9",
                                             "\xe2\x80\xaf", "\xe2\x81\x9f", "\xe3\x80\x80",
                                             "\xef\xbb\xbf"};
  for (const std::string_view space : kSpaces) {
    if (before ? at >= space.size() && text.substr(at - space.size(), space.size()) == space
               : text.substr(at, space.size()) == space) {
      return space.size();
    }
  }
  return 0;
}

std::string_view TrimJavaScriptSpace(std::string_view text) {
  std::size_t start = 0;
  while (const std::size_t length = SpaceLength(text, start, false)) {
    start += length;
  }
  std::size_t end = text.size();
  while (end > start) {
    const std::size_t length = SpaceLength(text, end, true);
    if (length == 0) {
      break;
    }
    end -= length;
  }
  return text.substr(start, end - start);
}

bool InInt32Range(double number) {
  return number >= std::numeric_limits<std::int32_t>::min() &&
         number <= std::numeric_limits<std::int32_t>::max();
}

// Decimal digits with an optional sign and surrounding whitespace, as an
// integer in the 32-bit range.
std::optional<std::int32_t> DigitsToInt32(const std::string &text) {
  std::string_view digits = TrimJavaScriptSpace(text);
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) {
    return std::nullopt;
  }
  for (const char c : digits) {
    if (!IsDigit(c)) {
      return std::nullopt;
    }
  }
  while (digits.size() > 1 && digits[0] == '0') {
    digits.remove_prefix(1);
  }
  if (digits.size() > 10) {
    return std::nullopt;
  }
  std::int64_t number = 0;
  for (const char c : digits) {
    number = number * 10 + (c - '0');
  }
  number = negative ? -number : number;
  if (!InInt32Range(static_cast<double>(number))) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(number);
}

// A value for a number action: an integer in the 32-bit range, given as a
// number or as decimal digits.
std::optional<std::int32_t> ToInt32(const Json::Value *value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  if (value->isString()) {
    return DigitsToInt32(value->asString());
  }
  const double number = value->asDouble();
  if (std::floor(number) != number || !InInt32Range(number)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(number);
}

// JavaScript's String() of a finite number: the shortest digits that read
// back as the same number, in plain or exponent notation by their magnitude.
std::string NumberText(double number) {
  if (number == 0) {
    return "0";
  }
  if (number < 0) {
    return "-" + NumberText(-number);
  }
  char buffer[64];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific);
  const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
  const std::size_t e = scientific.find('e');
  std::string digits;
  for (const char c : scientific.substr(0, e)) {
    if (c != '.') {
      digits += c;
    }
  }
  const int k = static_cast<int>(digits.size());
  const int n = std::atoi(std::string(scientific.substr(e + 1)).c_str()) + 1;
  if (k <= n && n <= 21) {
    return digits + std::string(static_cast<std::size_t>(n - k), '0');
  }
  if (0 < n && n <= 21) {
    return digits.substr(0, static_cast<std::size_t>(n)) + "." +
           digits.substr(static_cast<std::size_t>(n));
  }
  if (-6 < n && n <= 0) {
    return "0." + std::string(static_cast<std::size_t>(-n), '0') + digits;
  }
  const std::string exponent = (n - 1 >= 0 ? "e+" : "e-") + std::to_string(std::abs(n - 1));
  return k == 1 ? digits + exponent : digits.substr(0, 1) + "." + digits.substr(1) + exponent;
}

// A scheme such as "http:" or "file:", but not a drive letter ("C:\", "C:").
bool HasScheme(const std::string &path) {
  if (path.empty() || !IsAsciiLetter(path[0])) {
    return false;
  }
  std::size_t colon = 1;
  while (colon < path.size() && (IsAsciiLetter(path[colon]) || IsDigit(path[colon]) ||
                                 path[colon] == '+' || path[colon] == '.' || path[colon] == '-')) {
    ++colon;
  }
  if (colon == path.size() || path[colon] != ':') {
    return false;
  }
  const bool driveLetter = colon == 1 && (path.size() == 2 || path[2] == '\\' || path[2] == '/');
  return !driveLetter;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAbsolutePath(const std::string &path) {
  return HasScheme(path) ||
         (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) ||
         (!path.empty() && IsSeparator(path[0]));
}

// `name` inside `folder`, with the folder's kind of separator; empty when the
// folder is a URL.
std::string JoinFilePath(const std::string &folder, const std::string &name) {
  if (HasScheme(folder)) {
    return std::string();
  }
  const bool backslash =
      folder.find('\\') != std::string::npos || folder.find('/') == std::string::npos;
  std::size_t folderEnd = folder.size();
  while (folderEnd > 0 && IsSeparator(folder[folderEnd - 1])) {
    --folderEnd;
  }
  std::size_t nameStart = 0;
  while (nameStart < name.size() && IsSeparator(name[nameStart])) {
    ++nameStart;
  }
  return folder.substr(0, folderEnd) + (backslash ? '\\' : '/') + name.substr(nameStart);
}

bool EndsWithImageExtension(const std::string &file) {
  const std::size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    return false;
  }
  std::string extension;
  for (const char c : file.substr(dot + 1)) {
    extension += AsciiLower(c);
  }
  for (const char *known : {"png", "jpg", "jpeg", "gif", "webp", "bmp", "svg"}) {
    if (extension == known) {
      return true;
    }
  }
  return false;
}

std::string ThumbnailFile(const Json::Value *member, const std::string &valueText,
                          const std::string &imagePath) {
  if (member != nullptr) {
    const std::string path = member->asString();
    if (IsAbsolutePath(path)) {
      return HasScheme(path) ? std::string() : path;
    }
    return imagePath.empty() ? std::string() : JoinFilePath(imagePath, path);
  }
  if (imagePath.empty() || valueText.empty()) {
    return std::string();
  }
  return JoinFilePath(imagePath,
                      EndsWithImageExtension(valueText) ? valueText : valueText + ".png");
}

// One element of "itemList" at position `index`; false when it is no item.
bool ReadListItem(const Json::Value &element, Json::ArrayIndex index, bool numeric,
                  const std::string &imagePath, ListItem &item) {
  const Json::Value *text = nullptr;
  const Json::Value *raw = nullptr;
  const Json::Value *thumbnail = nullptr;
  if ((element.isString() && !element.asString().empty()) || IsFiniteNumber(element)) {
    text = &element;
    raw = &element;
  } else if (element.isObject()) {
    text = PickMember(element, kTextMembers);
    raw = PickMember(element, kValueMembers);
    thumbnail = PickMember(element, kThumbnailMembers);
    if (thumbnail != nullptr && !thumbnail->isString()) {
      thumbnail = nullptr;
    }
  } else {
    return false;
  }
  if (numeric) {
    // Plain strings are names, not numbers: the position identifies them.
    const std::optional<std::int32_t> number = element.isString() ? std::nullopt : ToInt32(raw);
    item.value = number ? *number : static_cast<std::int32_t>(index);
  } else {
    const Json::Value *valueSource = raw != nullptr ? raw : text;
    if (valueSource == nullptr) {
      return false;
    }
    item.value = JavaScriptText(*valueSource);
  }
  item.valueText = JavaScriptText(item.value);
  item.text = text != nullptr ? JavaScriptText(*text) : item.valueText;
  item.thumbnailFile = ThumbnailFile(thumbnail, item.valueText, imagePath);
  return true;
}

} // namespace

std::string JavaScriptText(const Json::Value &value) {
  if (value.isString()) {
    return value.asString();
  }
  if (value.isBool()) {
    return value.asBool() ? "true" : "false";
  }
  if (IsFiniteNumber(value)) {
    return NumberText(value.asDouble());
  }
  return std::string();
}

std::vector<ListItem> ReadListItems(const Json::Value &document, bool numeric) {
  std::vector<ListItem> items;
  if (!document.isObject()) {
    return items;
  }
  const Json::Value &imagePathMember = document["imagePath"];
  const std::string imagePath =
      imagePathMember.isString() ? imagePathMember.asString() : std::string();
  const Json::Value &list = document["itemList"];
  if (!list.isArray()) {
    return items;
  }
  items.reserve(list.size());
  for (Json::ArrayIndex index = 0; index < list.size(); ++index) {
    ListItem item;
    if (ReadListItem(list[index], index, numeric, imagePath, item)) {
      items.push_back(std::move(item));
    }
  }
  return items;
}
