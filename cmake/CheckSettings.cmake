# Configure-time checks of the build-time settings, so that a wrong value fails
# the configuration with a clear message instead of producing a broken program.

function(lanchat_check_broadcast_address value)
  set(octet "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])")
  if(NOT value MATCHES "^${octet}\\.${octet}\\.${octet}\\.255$")
    message(FATAL_ERROR
      "LANCHAT_BROADCAST_ADDRESS='${value}' is not a directed IPv4 broadcast address: "
      "expected four dotted numbers 0-255 whose last one is 255, such as 192.168.1.255.")
  endif()
endfunction()

function(lanchat_check_codepage value)
  find_program(LANCHAT_ICONV_TOOL iconv)
  if(NOT LANCHAT_ICONV_TOOL)
    message(FATAL_ERROR "The iconv tool (libc-bin) is needed to check LANCHAT_CODEPAGE.")
  endif()
  execute_process(COMMAND "${LANCHAT_ICONV_TOOL}" -f UTF-8 -t "${value}"
                  INPUT_FILE /dev/null RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT value MATCHES "^[A-Za-z0-9_.:-]+$" OR NOT rc EQUAL 0)
    message(FATAL_ERROR
      "LANCHAT_CODEPAGE='${value}' is not a code page that iconv knows (see `iconv -l`).")
  endif()
endfunction()

# The Windows build converts with Windows' own tables: the name must be one
# of a single-byte code page that text/win32/CodecWin32.cpp maps to its
# number (WINDOWS-125x, CP125x, ISO-8859-n, CPnnn, IBMnnn, KOI8-R, KOI8-U).
function(lanchat_check_windows_codepage value)
  string(TOUPPER "${value}" upper)
  if(NOT upper MATCHES "^(WINDOWS-[0-9]+|CP[0-9]+|IBM[0-9]+|ISO[-_]?8859-([1-9]|1[0-6])|KOI8-[RU]|US-ASCII|ASCII)$")
    message(FATAL_ERROR
      "LANCHAT_CODEPAGE='${value}' has no Windows code page that the Windows build knows: "
      "use WINDOWS-125x, ISO-8859-n, CPnnn (CP850…) or KOI8-R/KOI8-U.")
  endif()
endfunction()
