#pragma once
// A tiny table-driven check helper for the portable tests: plain C++, no
// framework, so that the same program runs on Linux and, built for
// Windows, under Wine. Each failed check prints where and what; the program
// ends with a code other than 0 when any failed.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct State {
  int passed = 0;
  int failed = 0;
  std::string test; // the test being run
  std::string row;  // and its row, if any
};
inline State& Current() {
  static State state;
  return state;
}

// A byte string as C would write it: printable ASCII as is, the rest \xNN.
inline std::string Escaped(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

inline void Report(bool ok, const char* file, int line, const std::string& what) {
  State& state = Current();
  if (ok) {
    ++state.passed;
    return;
  }
  ++state.failed;
  std::printf("FAIL %s%s%s (%s:%d): %s\n", state.test.c_str(), state.row.empty() ? "" : " / ",
              state.row.c_str(), file, line, what.c_str());
}

inline std::string Shown(std::string_view s) { return "\"" + Escaped(s) + "\""; }
inline std::string Shown(const std::string& s) { return Shown(std::string_view(s)); }
inline std::string Shown(const char* s) { return Shown(std::string_view(s)); }
inline std::string Shown(bool b) { return b ? "true" : "false"; }
template <class T> std::string Shown(const T& value) { return std::to_string(value); }

template <class A, class B>
void Equal(const A& got, const B& expected, const char* gotText, const char* file, int line) {
  const bool ok = got == expected;
  Report(ok, file, line,
         ok ? std::string() : std::string(gotText) + " is " + Shown(got) + ", expected " + Shown(expected));
}

// A test: a name and a function; rows within it are named with Row().
struct Test {
  const char* name;
  std::function<void()> run;
};

inline void Row(std::string name) { Current().row = std::move(name); }

inline int RunAll(const std::vector<Test>& tests) {
  for (const Test& test : tests) {
    Current().test = test.name;
    Current().row.clear();
    const int before = Current().failed;
    try {
      test.run();
    } catch (const std::exception& e) {
      Report(false, __FILE__, __LINE__, std::string("exception: ") + e.what());
    }
    std::printf("%s %s\n", Current().failed == before ? "PASS" : "FAIL", test.name);
  }
  std::printf("%d passed, %d failed\n", Current().passed, Current().failed);
  std::fflush(stdout);
  return Current().failed == 0 ? 0 : 1;
}

} // namespace check

#define CHECK(condition) ::check::Report((condition), __FILE__, __LINE__, #condition)
#define CHECK_EQ(got, expected) ::check::Equal((got), (expected), #got, __FILE__, __LINE__)
