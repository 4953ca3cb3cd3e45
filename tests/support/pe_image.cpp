#include "tests/support/pe_image.h"

#include <stdexcept>

namespace testing_support {

std::uint32_t ReadU32(const std::string& bytes, std::size_t at) {
  if (at + 4 > bytes.size()) throw std::runtime_error("read past the end");
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint16_t ReadU16(const std::string& bytes, std::size_t at) {
  if (at + 2 > bytes.size()) throw std::runtime_error("read past the end");
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

PeImage::PeImage(std::string bytes) : bytes_(std::move(bytes)) {
  if (bytes_.substr(0, 2) != "MZ") throw std::runtime_error("no MZ header");
  const std::size_t pe = ReadU32(bytes_, 0x3C);
  if (bytes_.substr(pe, 4) != std::string("PE\0\0", 4)) throw std::runtime_error("no PE header");
  const std::size_t coff = pe + 4;
  machine_ = ReadU16(bytes_, coff);
  const std::uint16_t sectionCount = ReadU16(bytes_, coff + 2);
  const std::uint16_t optionalSize = ReadU16(bytes_, coff + 16);
  const std::size_t optional = coff + 20;
  magic_ = ReadU16(bytes_, optional);
  if (magic_ != 0x10B) throw std::runtime_error("not a PE32 image");
  subsystem_ = ReadU16(bytes_, optional + 68);
  const std::uint32_t directoryCount = ReadU32(bytes_, optional + 92);
  const std::size_t directories = optional + 96;
  const std::size_t sectionTable = optional + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = sectionTable + 40 * i;
    sections_.push_back({ReadU32(bytes_, at + 12), ReadU32(bytes_, at + 8),
                         ReadU32(bytes_, at + 20), ReadU32(bytes_, at + 16)});
  }
  if (directoryCount > 1 && ReadU32(bytes_, directories + 8) != 0) {
    ReadImports(ReadU32(bytes_, directories + 8));
  }
  if (directoryCount > 2 && ReadU32(bytes_, directories + 16) != 0) {
    ReadResources(ReadU32(bytes_, directories + 16), ReadU32(bytes_, directories + 20));
  }
}

std::size_t PeImage::OffsetOf(std::uint32_t rva) const {
  for (const Section& s : sections_) {
    const std::uint32_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva < s.virtualAddress + extent) {
      return s.rawOffset + (rva - s.virtualAddress);
    }
  }
  throw std::runtime_error("an address outside every section");
}

std::string PeImage::CString(std::uint32_t rva) const {
  const std::size_t at = OffsetOf(rva);
  const std::size_t end = bytes_.find('\0', at);
  if (end == std::string::npos) throw std::runtime_error("an unterminated name");
  return bytes_.substr(at, end - at);
}

void PeImage::ReadImports(std::uint32_t rva) {
  for (std::size_t at = OffsetOf(rva);; at += 20) {
    const std::uint32_t lookup = ReadU32(bytes_, at);
    const std::uint32_t name = ReadU32(bytes_, at + 12);
    const std::uint32_t thunks = ReadU32(bytes_, at + 16);
    if (name == 0 && thunks == 0) break;
    std::vector<std::string>& functions = imports_[CString(name)];
    for (std::size_t entry = OffsetOf(lookup != 0 ? lookup : thunks);; entry += 4) {
      const std::uint32_t thunk = ReadU32(bytes_, entry);
      if (thunk == 0) break;
      functions.push_back((thunk & 0x80000000u) ? "#" + std::to_string(thunk & 0xFFFF)
                                                : CString(thunk + 2));
    }
  }
}

void PeImage::ReadResources(std::uint32_t rva, std::uint32_t size) {
  const std::size_t base = OffsetOf(rva);
  if (base + size > bytes_.size()) throw std::runtime_error("a resource section past the end");
  // Entries of one directory level: (id, offset, is a directory).
  const auto entries = [&](std::size_t directory) {
    std::vector<std::tuple<std::uint32_t, std::uint32_t, bool>> list;
    const std::size_t count =
        ReadU16(bytes_, base + directory + 12) + ReadU16(bytes_, base + directory + 14);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = base + directory + 16 + 8 * i;
      const std::uint32_t name = ReadU32(bytes_, at);
      const std::uint32_t target = ReadU32(bytes_, at + 4);
      if (name & 0x80000000u) continue;  // named entries are not read
      list.emplace_back(name, target & 0x7FFFFFFFu, (target & 0x80000000u) != 0);
    }
    return list;
  };
  for (const auto& [type, typeDirectory, typeIsDirectory] : entries(0)) {
    if (!typeIsDirectory) continue;
    for (const auto& [id, idDirectory, idIsDirectory] : entries(typeDirectory)) {
      if (!idIsDirectory) continue;
      for (const auto& [language, dataEntry, isDirectory] : entries(idDirectory)) {
        if (isDirectory) continue;
        const std::uint32_t dataRva = ReadU32(bytes_, base + dataEntry);
        const std::uint32_t dataSize = ReadU32(bytes_, base + dataEntry + 4);
        const std::size_t at = OffsetOf(dataRva);
        if (at + dataSize > bytes_.size()) throw std::runtime_error("resource data past the end");
        resources_[{type, id, language}] = bytes_.substr(at, dataSize);
      }
    }
  }
}

std::map<std::uint32_t, std::string> PeImage::ResourcesOfType(std::uint32_t type) const {
  std::map<std::uint32_t, std::string> found;
  for (const auto& [key, data] : resources_) {
    if (std::get<0>(key) == type) found[std::get<1>(key)] = data;
  }
  return found;
}

namespace {

std::size_t Align4(std::size_t at) { return (at + 3) & ~static_cast<std::size_t>(3); }

VersionNode ParseNode(const std::string& bytes, std::size_t at, std::size_t* end) {
  const std::uint16_t length = ReadU16(bytes, at);
  const std::uint16_t valueLength = ReadU16(bytes, at + 2);
  VersionNode node;
  node.isText = ReadU16(bytes, at + 4) == 1;
  std::size_t cursor = at + 6;
  for (char16_t c; (c = static_cast<char16_t>(ReadU16(bytes, cursor))) != 0; cursor += 2) {
    node.key.push_back(c);
  }
  cursor = Align4(cursor + 2);
  const std::size_t valueBytes = node.isText ? valueLength * 2u : valueLength;
  if (cursor + valueBytes > bytes.size()) throw std::runtime_error("a value past the end");
  node.value = bytes.substr(cursor, valueBytes);
  cursor = Align4(cursor + valueBytes);
  const std::size_t nodeEnd = at + length;
  if (length == 0 || nodeEnd > bytes.size()) throw std::runtime_error("a bad version node");
  while (cursor < nodeEnd) {
    std::size_t childEnd = 0;
    node.children.push_back(ParseNode(bytes, cursor, &childEnd));
    cursor = Align4(childEnd);
  }
  *end = nodeEnd;
  return node;
}

}  // namespace

VersionNode ParseVersionInfo(const std::string& bytes) {
  std::size_t end = 0;
  return ParseNode(bytes, 0, &end);
}

const VersionNode* VersionNode::Child(const std::u16string& childKey) const {
  for (const VersionNode& child : children) {
    if (child.key == childKey) return &child;
  }
  return nullptr;
}

std::u16string VersionNode::Text() const {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
    const auto c = static_cast<char16_t>(ReadU16(value, i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace testing_support
