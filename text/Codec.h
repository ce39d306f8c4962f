#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace text {

// Converts between UTF-8 (the widgets' text) and the 8-bit code page used on
// the wire. Both directions are total: they never fail and never throw once
// the converter exists. Over iconv on Linux (text/posix/CodecIconv.cpp);
// over MultiByteToWideChar and WideCharToMultiByte on Windows
// (text/win32/CodecWin32.cpp), which takes the same names (WINDOWS-1252,
// ISO-8859-15, CP850…) for the single-byte code pages Windows has, and gives
// the same bytes.
class Codec {
public:
  // Throws std::runtime_error if the system does not know the code page.
  explicit Codec(std::string codePage);

  // UTF-8 to wire bytes. A character the code page cannot hold becomes "?",
  // invalid UTF-8 bytes and a zero character too; every line break (CR LF, CR, LF, U+2028, U+2029)
  // becomes CR LF.
  [[nodiscard]] std::string Encode(std::string_view utf8) const;

  // Wire bytes to UTF-8. A byte (or sequence) the code page leaves undefined
  // becomes U+FFFD, and so does a zero byte, which no text can hold.
  [[nodiscard]] std::string Decode(std::string_view bytes) const;

  [[nodiscard]] const std::string& CodePage() const { return codePage_; }

  // The converter for the code page the program was built with.
  static const Codec& Wire();

  // The system's part: on Windows, the code page's tables, made once.
  struct Tables;

private:
  std::string codePage_;
  std::shared_ptr<const Tables> tables_;
};

// Text decoded from the wire's code page into UTF-8. A type of its own, so
// that decoded text is never taken for wire bytes nor decoded a second time:
// a received message is decoded once, for the history and for the alert.
struct Decoded {
  std::string utf8;
};

// Decodes wire bytes with the program's code page.
inline Decoded FromWire(std::string_view bytes) { return {Codec::Wire().Decode(bytes)}; }

} // namespace text
