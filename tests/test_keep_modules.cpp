// In a sanitized build, a module that the program unloads before it ends
// must not make LeakSanitizer report what the module held (as EGL unloads
// Mesa's driver): the program loads a module that holds a block, unloads it,
// and ends; LeakSanitizer fails it with a leak from an "<unknown module>"
// if the module was really unloaded.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  using Hold = int (*)();
  auto hold = reinterpret_cast<Hold>(dlsym(module, "HoldBlock"));
  if (hold == nullptr || hold() != 0) return 2;
  dlclose(module);
  return 0;
}
