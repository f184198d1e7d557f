// The libFuzzer entry point of one hostile-input target, chosen when the harness is built.
// A HostileFailure or any error that escapes ends the process, which libFuzzer reports as a
// crash with the input that caused it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "hostile/HostileTargets.h"

#ifndef PLEXOR_FUZZ_TARGET
#error "PLEXOR_FUZZ_TARGET names the target"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const plexor::hostile::Target* target = [] {
    const plexor::hostile::Target* t = plexor::hostile::FindTarget(PLEXOR_FUZZ_TARGET);
    if (!t) {
      std::fprintf(stderr, "no target named %s\n", PLEXOR_FUZZ_TARGET);
      std::abort();
    }
    return t;
  }();
  try {
    target->Run(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "HOSTILE FAILURE in %s: %s\n", PLEXOR_FUZZ_TARGET, e.what());
    std::abort();
  }
  return 0;
}
