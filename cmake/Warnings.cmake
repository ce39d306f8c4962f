# Compiler options shared by every target: warnings, and optionally sanitizers.
add_library(lanchat_options INTERFACE)
add_library(lanchat::options ALIAS lanchat_options)

target_compile_options(lanchat_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
  $<$<BOOL:${LANCHAT_WERROR}>:-Werror>)

# Hardening for what ships.
target_compile_definitions(lanchat_options INTERFACE $<$<CONFIG:Release>:_FORTIFY_SOURCE=2>)
target_link_options(lanchat_options INTERFACE $<$<CONFIG:Release>:LINKER:-z,relro,-z,now>)

if(LANCHAT_SANITIZE)
  target_compile_options(lanchat_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(lanchat_options INTERFACE -fsanitize=address,undefined)
endif()
