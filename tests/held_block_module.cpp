// A module that keeps a block for as long as it is loaded, as a GL driver
// keeps its tables: reachable from its own data, never freed.
#include <cstdlib>

namespace {
void* held = nullptr;
}

extern "C" int HoldBlock() {
  held = std::realloc(held, 128);
  return held != nullptr ? 0 : 1;
}
