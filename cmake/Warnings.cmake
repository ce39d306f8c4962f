# Compiler options shared by every target: warnings, and optionally sanitizers.
add_library(lanchat_options INTERFACE)
add_library(lanchat::options ALIAS lanchat_options)

target_compile_options(lanchat_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
  $<$<BOOL:${LANCHAT_WERROR}>:-Werror>)

# Hardening for what ships. On Windows (MinGW), the PE's own: address space
# randomisation, high-entropy included, and no execution of data (the
# linker's defaults, said here); _FORTIFY_SOURCE would need libssp there.
if(WIN32)
  target_link_options(lanchat_options INTERFACE
    LINKER:--dynamicbase LINKER:--nxcompat LINKER:--high-entropy-va)
else()
  target_compile_definitions(lanchat_options INTERFACE $<$<CONFIG:Release>:_FORTIFY_SOURCE=2>)
  target_link_options(lanchat_options INTERFACE $<$<CONFIG:Release>:LINKER:-z,relro,-z,now>)
endif()

if(LANCHAT_SANITIZE)
  target_compile_options(lanchat_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(lanchat_options INTERFACE -fsanitize=address,undefined)
  # LeakSanitizer reports at exit, after libraries have unloaded what they
  # loaded (EGL unloads Mesa's GL driver at eglTerminate): a block that such
  # a module still points to is then reported as leaked, allocated from an
  # "<unknown module>" that no suppression by library name can match. So in
  # these builds every program keeps its modules loaded to the end: its own
  # dlclose, exported so that the libraries call it, does nothing.
  set(program "$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>")
  target_sources(lanchat_options INTERFACE
    "$<${program}:${CMAKE_CURRENT_LIST_DIR}/KeepModulesLoaded.cpp>")
  target_link_options(lanchat_options INTERFACE "$<${program}:LINKER:--export-dynamic-symbol=dlclose>")
endif()
