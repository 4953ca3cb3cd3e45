#pragma once
// A small reader of 32-bit Windows executables (PE32), enough to check what
// the build produced: the header, the imports and the resources.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace testing_support {

class PeImage {
 public:
  // Reads `bytes`; throws std::runtime_error when they are not a PE32 image.
  explicit PeImage(std::string bytes);

  std::uint16_t Machine() const { return machine_; }
  std::uint16_t Subsystem() const { return subsystem_; }
  std::uint16_t OptionalHeaderMagic() const { return magic_; }

  // DLL name -> names of the functions imported from it.
  const std::map<std::string, std::vector<std::string>>& Imports() const { return imports_; }

  // The data of resource (type, id, language), for numeric types and ids.
  using ResourceKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
  const std::map<ResourceKey, std::string>& Resources() const { return resources_; }

  // The resources of `type`, by id, whatever their language.
  std::map<std::uint32_t, std::string> ResourcesOfType(std::uint32_t type) const;

 private:
  std::size_t OffsetOf(std::uint32_t rva) const;
  std::string CString(std::uint32_t rva) const;
  void ReadImports(std::uint32_t rva);
  void ReadResources(std::uint32_t rva, std::uint32_t size);

  struct Section {
    std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
  };

  std::string bytes_;
  std::uint16_t machine_ = 0;
  std::uint16_t magic_ = 0;
  std::uint16_t subsystem_ = 0;
  std::vector<Section> sections_;
  std::map<std::string, std::vector<std::string>> imports_;
  std::map<ResourceKey, std::string> resources_;
};

// One node of a version resource: its key, its value and its children.
struct VersionNode {
  std::u16string key;
  std::string value;  // the raw bytes of the value
  bool isText = false;
  std::vector<VersionNode> children;

  const VersionNode* Child(const std::u16string& childKey) const;
  // The value of a text node, without its final NUL.
  std::u16string Text() const;
};

VersionNode ParseVersionInfo(const std::string& bytes);

// Little-endian numbers from `bytes`, bounds checked.
std::uint32_t ReadU32(const std::string& bytes, std::size_t at);
std::uint16_t ReadU16(const std::string& bytes, std::size_t at);

}  // namespace testing_support
