// Linked into every program of a sanitized build (cmake/Warnings.cmake): a
// module once loaded stays loaded to the end, so that LeakSanitizer, which
// reports at exit, can still read the stacks and the data of the libraries
// that the program's libraries would have unloaded by then.
extern "C" int dlclose(void* /*handle*/) noexcept { return 0; }
