// Microbenchmarks of the profile store, the code-page conversions and
// Form1's key listing.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/Form1.h"
#include "bench/profile_fixtures.h"
#include "platform/ansi.h"
#include "platform/posix/profile_document.h"
#include "platform/posix/profile_store.h"

namespace {

using platform::posix::ProfileDocument;

const platform::CodePage& Western() { return *platform::CodePageFor(1252); }

const std::int64_t kSizes[] = {4 << 10, 100 << 10, 1 << 20, 10 << 20};

void ApplySizes(benchmark::internal::Benchmark* b) {
  for (const auto size : kSizes) b->Arg(size);
}

// A profile file on disk for the life of the object.
class ProfileOnDisk {
 public:
  explicit ProfileOnDisk(const std::string& bytes) {
    char pattern[] = "/tmp/defprinter-bench-XXXXXX";
    folder_ = mkdtemp(pattern);
    path_ = folder_ + "/win.ini";
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~ProfileOnDisk() { std::filesystem::remove_all(folder_); }
  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

void BM_FindValue(benchmark::State& state) {
  const std::string profile = bench::TypicalProfile(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const ProfileDocument document(profile, Western());
    benchmark::DoNotOptimize(document.Value("windows", "Device"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(profile.size()));
}
BENCHMARK(BM_FindValue)->Apply(ApplySizes)->Unit(benchmark::kMicrosecond);

// Finding the Device line of a 4 MB profile with each form of line end: a
// scan that searched for one kind of line end past the line would turn
// quadratic on the other.
void BM_FindValueByLineEnd(benchmark::State& state) {
  static const char* const kLineEnds[] = {"\r\n", "\n", "\r"};
  static const char* const kNames[] = {"CR LF", "LF", "CR"};
  const std::string profile =
      bench::WithLineEnds(bench::TypicalProfile(4 << 20), kLineEnds[state.range(0)]);
  state.SetLabel(kNames[state.range(0)]);
  for (auto _ : state) {
    const ProfileDocument document(profile, Western());
    benchmark::DoNotOptimize(document.Value("windows", "Device"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(profile.size()));
}
BENCHMARK(BM_FindValueByLineEnd)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_EditValue(benchmark::State& state) {
  const std::string profile = bench::TypicalProfile(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const ProfileDocument document(profile, Western());
    benchmark::DoNotOptimize(document.WithValue("windows", "Device", "Quillmarex,winspool,Ne01:"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(profile.size()));
}
BENCHMARK(BM_EditValue)->Apply(ApplySizes)->Unit(benchmark::kMicrosecond);

// GetProfileStringA's key list of a 100,000-key section, whole, from a file
// on disk (read through the page cache).
void BM_KeyListOfBigSection(benchmark::State& state) {
  const ProfileOnDisk disk(
      bench::ProfileWithBigSection(static_cast<std::size_t>(state.range(0)), 100000));
  platform::posix::ProfileFile file(disk.path(), platform::posix::DefaultFileSystem());
  const platform::posix::ProfileStore store(file, Western());
  std::string buffer(2 << 20, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store.Get("big", nullptr, "", buffer.data(), static_cast<std::uint32_t>(buffer.size())));
  }
}
BENCHMARK(BM_KeyListOfBigSection)->Arg(2 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// Form1's listing of the same section into a list box (its buffer holds
// 8102 characters, so it lists the first names that fit).
void BM_ProfileLoadWinIniList(benchmark::State& state) {
  const ProfileOnDisk disk(
      bench::ProfileWithBigSection(static_cast<std::size_t>(state.range(0)), 100000));
  setenv("WININI", disk.path().c_str(), 1);
  Form1 form;
  platform::Text section = u"big";
  for (auto _ : state) {
    forms::ListBox list;
    benchmark::DoNotOptimize(form.ProfileLoadWinIniList(list, section));
  }
}
BENCHMARK(BM_ProfileLoadWinIniList)->Arg(2 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_EncodeBuffer(benchmark::State& state) {
  const platform::CodePage& page =
      *platform::CodePageFor(static_cast<std::uint32_t>(state.range(0)));
  platform::Text text;
  for (int i = 0; i < 8102; ++i) text.push_back(i % 3 == 0 ? u'\u65E5' : u'a');
  if (page.Number() != 932) text = platform::Text(8102, u'\u00E9');
  for (auto _ : state) benchmark::DoNotOptimize(page.Encode(text));
}
BENCHMARK(BM_EncodeBuffer)->Arg(1252)->Arg(932)->Unit(benchmark::kMicrosecond);

void BM_DecodeBuffer(benchmark::State& state) {
  const platform::CodePage& page = *platform::CodePageFor(static_cast<std::uint32_t>(state.range(0)));
  std::string bytes;
  while (bytes.size() < 8102) bytes += page.Number() == 932 ? "\x93\xFA" "a" : "\xE9";
  for (auto _ : state) benchmark::DoNotOptimize(page.Decode(bytes));
}
BENCHMARK(BM_DecodeBuffer)->Arg(1252)->Arg(932)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
