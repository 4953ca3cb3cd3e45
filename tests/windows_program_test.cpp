// The 32-bit Windows program, read back from the executable the win32
// build produced: it cannot run here, so what it is made of is checked.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/pe_image.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::PeImage;
using testing_support::ReadU16;
using testing_support::ReadU32;

constexpr std::uint32_t kIconType = 3;
constexpr std::uint32_t kIconGroupType = 14;
constexpr std::uint32_t kVersionType = 16;

const PeImage& Program() {
  static const PeImage image(testing_support::ReadFile(DEFPRINTER_EXE));
  return image;
}

TEST(WindowsProgram, IsA32BitGuiProgram) {
  EXPECT_EQ(Program().Machine(), 0x14C);             // i386
  EXPECT_EQ(Program().OptionalHeaderMagic(), 0x10B);  // PE32
  EXPECT_EQ(Program().Subsystem(), 2);                // Windows GUI: no console
}

TEST(WindowsProgram, ImportsOnlyFromDllsEveryWindowsHas) {
  std::vector<std::string> dlls;
  for (const auto& [dll, functions] : Program().Imports()) {
    std::string lower = dll;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    dlls.push_back(lower);
  }
  std::sort(dlls.begin(), dlls.end());
  EXPECT_TRUE(dlls == (std::vector<std::string>{"kernel32.dll", "msvcrt.dll", "user32.dll"}) ||
              dlls == (std::vector<std::string>{"kernel32.dll", "user32.dll"}))
      << testing::PrintToString(dlls);
  const auto has = [](const std::string& dll, const std::string& function) {
    for (const auto& [name, functions] : Program().Imports()) {
      if (::strcasecmp(name.c_str(), dll.c_str()) == 0) {
        return std::find(functions.begin(), functions.end(), function) != functions.end();
      }
    }
    return false;
  };
  EXPECT_TRUE(has("KERNEL32.dll", "WriteProfileStringA"));
  EXPECT_TRUE(has("KERNEL32.dll", "GetProfileStringA"));
  EXPECT_TRUE(has("USER32.dll", "SendMessageA"));
  // The broadcast: every top-level window, each sent to on a thread of its
  // own with a time limit, so no hung program holds it.
  EXPECT_TRUE(has("USER32.dll", "EnumWindows"));
  EXPECT_TRUE(has("USER32.dll", "SendMessageTimeoutA"));
  EXPECT_TRUE(has("KERNEL32.dll", "CreateThread"));
  EXPECT_TRUE(has("KERNEL32.dll", "WaitForSingleObject"));
  // The ANSI entry points only.
  EXPECT_FALSE(has("KERNEL32.dll", "WriteProfileStringW"));
  EXPECT_FALSE(has("USER32.dll", "SendMessageW"));
  EXPECT_FALSE(has("USER32.dll", "SendMessageTimeoutW"));
}

TEST(WindowsProgram, HasIconGroupOneWithItsThreeImages) {
  const auto groups = Program().ResourcesOfType(kIconGroupType);
  ASSERT_EQ(groups.size(), 1u);
  ASSERT_EQ(groups.count(1), 1u);
  const std::string& group = groups.at(1);
  ASSERT_EQ(ReadU16(group, 2), 1);  // an icon group
  ASSERT_EQ(ReadU16(group, 4), 3);  // of three images
  ASSERT_EQ(group.size(), 6u + 3 * 14);
  const auto icons = Program().ResourcesOfType(kIconType);
  ASSERT_EQ(icons.size(), 3u);

  struct Expected {
    std::uint16_t id;
    int size;
    int colours;
    int bits;
  };
  const Expected expected[] = {{30001, 32, 2, 1}, {30002, 32, 16, 4}, {30003, 16, 16, 4}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].id);
    const std::size_t entry = 6 + 14 * static_cast<std::size_t>(i);
    EXPECT_EQ(static_cast<unsigned char>(group[entry]), expected[i].size);
    EXPECT_EQ(static_cast<unsigned char>(group[entry + 1]), expected[i].size);
    EXPECT_EQ(static_cast<unsigned char>(group[entry + 2]), expected[i].colours);
    EXPECT_EQ(ReadU16(group, entry + 6), expected[i].bits);
    EXPECT_EQ(ReadU16(group, entry + 12), expected[i].id);
    ASSERT_EQ(icons.count(expected[i].id), 1u);
    const std::string& image = icons.at(expected[i].id);
    EXPECT_EQ(ReadU32(group, entry + 8), image.size());
    // The image itself: a bitmap header of the same size and depth, whose
    // height counts the colour bits and the transparency mask.
    EXPECT_EQ(ReadU32(image, 0), 40u);
    EXPECT_EQ(ReadU32(image, 4), static_cast<std::uint32_t>(expected[i].size));
    EXPECT_EQ(ReadU32(image, 8), static_cast<std::uint32_t>(2 * expected[i].size));
    EXPECT_EQ(ReadU16(image, 14), expected[i].bits);
    const std::size_t stride = ((expected[i].size * expected[i].bits + 31) / 32) * 4;
    const std::size_t maskStride = ((expected[i].size + 31) / 32) * 4;
    EXPECT_EQ(image.size(), 40 + 4u * (1u << expected[i].bits) +
                                (stride + maskStride) * expected[i].size);
  }
}

TEST(WindowsProgram, HasAUsEnglishVersionBlockOfVersionOne) {
  const auto& resources = Program().Resources();
  const auto version = resources.find({kVersionType, 1, 0x0409});
  ASSERT_NE(version, resources.end()) << "no version block 1 in US English";
  const auto root = testing_support::ParseVersionInfo(version->second);
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u);
  EXPECT_EQ(ReadU32(root.value, 0), 0xFEEF04BDu);
  EXPECT_EQ(ReadU32(root.value, 8), 0x00010000u);   // file version 1.0
  EXPECT_EQ(ReadU32(root.value, 12), 0x00000000u);  // .0.0
  EXPECT_EQ(ReadU32(root.value, 16), 0x00010000u);  // product version 1.0
  EXPECT_EQ(ReadU32(root.value, 20), 0x00000000u);  // .0.0

  const auto* strings = root.Child(u"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  const auto* table = strings->Child(u"040904B0");
  ASSERT_NE(table, nullptr) << "no string table for language 0409, code page 04B0";
  const auto text = [&](const std::u16string& key) {
    const auto* node = table->Child(key);
    return node != nullptr ? node->Text() : u"(absent)";
  };
  EXPECT_EQ(text(u"FileVersion"), u"1.00");
  EXPECT_EQ(text(u"ProductVersion"), u"1.00");
  EXPECT_EQ(text(u"CompanyName"), u"The defprinter developers");
  EXPECT_EQ(text(u"ProductName"), u"defprinter");
  EXPECT_EQ(text(u"InternalName"), u"defprinter");
  EXPECT_EQ(text(u"OriginalFilename"), u"defprinter.exe");

  const auto* variables = root.Child(u"VarFileInfo");
  ASSERT_NE(variables, nullptr);
  const auto* translation = variables->Child(u"Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4u);
  EXPECT_EQ(ReadU16(translation->value, 0), 0x0409);
  EXPECT_EQ(ReadU16(translation->value, 2), 0x04B0);
}

}  // namespace
