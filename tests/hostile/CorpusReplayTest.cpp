// Every input that ever crashed or misbehaved is kept under tests/corpus/<target>/ and run
// again here, through the same targets the fuzzers drive, without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>

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

class HostileCorpus : public ::testing::TestWithParam<const char*> {};

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

INSTANTIATE_TEST_SUITE_P(Targets, HostileCorpus,
                         ::testing::Values("convert", "table", "batch", "csv", "profile",
                                           "numbers"));

}  // namespace
}  // namespace plexor::hostile
