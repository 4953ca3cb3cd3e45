#pragma once
// Profiles of a given size for the benchmarks, shaped like real win.ini
// files: many small sections, the [windows] section in the middle.

#include <string>

namespace bench {

// About `bytes` bytes of sections of 20 keys each, with [windows] and its
// Device line half way through.
inline std::string TypicalProfile(std::size_t bytes) {
  std::string profile = "; for 16-bit app support\r\n";
  bool windowsWritten = false;
  for (int section = 0; profile.size() < bytes; ++section) {
    if (!windowsWritten && profile.size() >= bytes / 2) {
      profile += "[windows]\r\nload=\r\nrun=\r\nDevice=Old,winspool,LPT1:\r\n";
      windowsWritten = true;
    }
    profile += "[section" + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 20 && profile.size() < bytes; ++key) {
      profile += "key" + std::to_string(key) + "=value " + std::to_string(section * 31 + key) +
                 "\r\n";
    }
  }
  if (!windowsWritten) profile += "[windows]\r\nDevice=Old,winspool,LPT1:\r\n";
  return profile;
}

// About `bytes` bytes whose last section, [big], holds `keys` keys.
inline std::string ProfileWithBigSection(std::size_t bytes, int keys) {
  std::string big = "[big]\r\n";
  for (int key = 0; key < keys; ++key) big += "name" + std::to_string(key) + "=1\r\n";
  std::string profile = big.size() < bytes ? TypicalProfile(bytes - big.size()) : std::string();
  return profile + big;
}

// `profile` with every CR LF line end written as `lineEnd` instead.
inline std::string WithLineEnds(const std::string& profile, const std::string& lineEnd) {
  std::string out;
  out.reserve(profile.size());
  for (std::size_t at = 0; at < profile.size();) {
    const std::size_t end = profile.find("\r\n", at);
    if (end == std::string::npos) {
      out.append(profile, at);
      break;
    }
    out.append(profile, at, end - at).append(lineEnd);
    at = end + 2;
  }
  return out;
}

}  // namespace bench
