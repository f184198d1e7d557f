// Every input that ever crashed or misbehaved is kept under tests/corpus/<target>/ and run
// again here, through the same targets the fuzzers drive, without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "hostile/HostileTargets.h"
#include "support/ShpBuilder.h"

namespace plexor::hostile {
namespace {

namespace fs = std::filesystem;

void RunAndReport(const Target& target, const std::string& data, const std::string& label) {
  try {
    target.Run(data);
  } catch (const HostileFailure& e) {
    ADD_FAILURE() << target.Name << " " << label << ": " << e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << target.Name << " " << label << " raised " << e.what();
  }
}

std::vector<std::string> TargetNames() {
  std::vector<std::string> names;
  for (const Target& t : Targets()) names.emplace_back(t.Name);
  return names;
}

class HostileCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileCorpus, KeptInputsBehave) {
  const Target* target = FindTarget(GetParam());
  ASSERT_NE(target, nullptr);
  const fs::path dir = fs::path(PLEXOR_SOURCE_DIR) / "tests" / "corpus" / GetParam();
  // A target whose fuzzer never found anything has no folder yet.
  if (!fs::is_directory(dir)) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    RunAndReport(*target, test::ReadFile(entry.path().string()), entry.path().filename().string());
  }
}

TEST_P(HostileCorpus, SeedsBehave) {
  const Target* target = FindTarget(GetParam());
  ASSERT_NE(target, nullptr);
  const std::vector<std::string> seeds =
      Seeds(GetParam(), (fs::path(PLEXOR_SOURCE_DIR) / "samples").string());
  ASSERT_FALSE(seeds.empty());
  for (size_t i = 0; i < seeds.size(); ++i) {
    RunAndReport(*target, seeds[i], "seed " + std::to_string(i));
  }
}

// The comma-text scanner and its reference agree on every short line over the characters that
// matter to the rules: quotes, commas, blanks, TABs, NUL and a double-byte lead byte.
TEST(HostileCsv, ScannerAgreesWithReferenceOnRandomLines) {
  const Target* target = FindTarget("csv");
  ASSERT_NE(target, nullptr);
  const std::string alphabet("ab,,\"\" \t\0\x82\x01", 12);
  std::mt19937 random(20261208);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 12);
  for (int i = 0; i < 20000; ++i) {
    std::string data(1, static_cast<char>(1 + i % 6));  // the field number asked for
    for (int k = length(random); k > 0; --k) data += alphabet[pick(random)];
    RunAndReport(*target, data, "line " + std::to_string(i));
  }
}

// A folder of the corpus that names no target would never be replayed.
TEST(HostileCorpusFolders, EachNamesATarget) {
  const fs::path root = fs::path(PLEXOR_SOURCE_DIR) / "tests" / "corpus";
  for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
    if (entry.is_directory()) {
      EXPECT_NE(FindTarget(entry.path().filename().string()), nullptr) << entry.path();
    }
  }
}

// Every target of the registry, so that a new harness is replayed without being listed here.
INSTANTIATE_TEST_SUITE_P(Targets, HostileCorpus, ::testing::ValuesIn(TargetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace plexor::hostile
