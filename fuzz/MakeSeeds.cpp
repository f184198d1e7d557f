// Writes the seed corpus of every fuzz target: plexor_fuzz_seeds SAMPLES_DIR OUT_DIR makes
// OUT_DIR/<target>/seed-NNN. The seeds come from the fixture builders and the samples, so
// nothing binary is kept without the code that made it.
#include <cstdio>
#include <filesystem>
#include <string>

#include "hostile/HostileTargets.h"
#include "support/ShpBuilder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SAMPLES_DIR OUT_DIR\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  for (const plexor::hostile::Target& target : plexor::hostile::Targets()) {
    const fs::path dir = fs::path(argv[2]) / target.Name;
    fs::create_directories(dir);
    const auto seeds = plexor::hostile::Seeds(target.Name, argv[1]);
    for (size_t i = 0; i < seeds.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "seed-%03zu", i);
      plexor::test::WriteFile((dir / name).string(), seeds[i]);
    }
    std::printf("%s: %zu seeds\n", target.Name, seeds.size());
  }
  return 0;
}
