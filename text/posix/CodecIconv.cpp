// The wire's code page over iconv (Linux).
#include "text/Codec.h"

#include "text/CodecShared.h"
#include "text/Utf8.h"

#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <stdexcept>

namespace text {
namespace {

// An iconv descriptor. Opening one costs more than converting a message, so
// each thread keeps one per conversion (descriptors carry shift state and
// must not be shared between threads), reset before every use.
class Converter {
public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
      throw std::runtime_error("iconv ne connaît pas la conversion " + from + " vers " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  static Converter& ForThisThread(const std::string& to, const std::string& from) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto& converter = cache[{to, from}];
    if (!converter) converter = std::make_unique<Converter>(to, from);
    iconv(converter->cd_, nullptr, nullptr, nullptr, nullptr);
    return *converter;
  }

  // Converts `in` as far as it can, appending to `out`. Stops at the first
  // byte it cannot convert; returns the number of input bytes consumed and
  // sets `stopped` to the errno that stopped it (0 when all went through).
  std::size_t Convert(std::string_view in, std::string& out, int& stopped) {
    std::size_t total = 0;
    stopped = 0;
    while (total < in.size()) {
      char buffer[1024];
      char* inPtr = const_cast<char*>(in.data() + total); // iconv's API is not const-correct
      std::size_t inLeft = in.size() - total;
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      total = in.size() - inLeft;
      if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
        stopped = errno;
        break;
      }
    }
    return total;
  }

  // Writes any pending shift sequence and resets the state.
  void Flush(std::string& out) {
    char buffer[64];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  }

private:
  iconv_t cd_;
};

} // namespace

struct Codec::Tables {};

Codec::Codec(std::string codePage) : codePage_(std::move(codePage)) {
  // Fail now rather than at the first conversion.
  Converter probe(codePage_, "UTF-8");
}

std::string Codec::Encode(std::string_view utf8) const {
  const std::string text = NormaliseLineBreaks(utf8);
  Converter& converter = Converter::ForThisThread(codePage_, "UTF-8");
  std::string out;
  out.reserve(text.size());
  std::string_view rest = text;
  while (!rest.empty()) {
    int stopped = 0;
    rest.remove_prefix(converter.Convert(rest, out, stopped));
    if (rest.empty()) break;
    // EILSEQ: a character the code page lacks, or invalid UTF-8.
    // EINVAL: a sequence cut short at the end. Either way, one "?".
    int ignored = 0;
    converter.Convert("?", out, ignored);
    const std::size_t skip =
        stopped == EINVAL
            ? rest.size()
            : std::min(rest.size(), SequenceLength(static_cast<unsigned char>(rest[0])));
    rest.remove_prefix(skip);
  }
  converter.Flush(out);
  return out;
}

std::string Codec::Decode(std::string_view bytes) const {
  Converter& converter = Converter::ForThisThread("UTF-8", codePage_);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  while (!bytes.empty()) {
    const std::size_t zero = bytes.find('\0');
    const std::string_view run = bytes.substr(0, zero);
    std::string_view rest = run;
    while (!rest.empty()) {
      int stopped = 0;
      rest.remove_prefix(converter.Convert(rest, out, stopped));
      if (rest.empty()) break;
      out += kReplacement;
      rest.remove_prefix(stopped == EINVAL ? rest.size() : 1);
    }
    if (zero == std::string_view::npos) break;
    out += kReplacement;
    bytes.remove_prefix(zero + 1);
  }
  return out;
}

} // namespace text
