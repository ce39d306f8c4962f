#pragma once

// What the benchmark's measures share: the clock, children it runs, and
// what it reads of a process or a port in /proc.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
inline double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The middle sample (the upper one of an even count).
inline double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

inline std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

inline long RssOf(pid_t pid) {
  std::ifstream status("/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) +
                       "/status");
  std::string key;
  long kb = 0;
  while (status >> key)
    if (key == "VmRSS:") {
      status >> kb;
      break;
    }
  return kb * 1024;
}

inline bool Listening(int port) {
  std::ifstream udp("/proc/net/udp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  std::string line;
  std::getline(udp, line); // header
  while (std::getline(udp, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0) return true;
  }
  return false;
}

// Runs a program; its standard output goes to a pipe the caller may read.
struct Child {
  pid_t pid = -1;
  int out = -1;
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    if (out >= 0) close(out);
    return status;
  }
  std::string ReadAll() const {
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }
  std::string ReadLine() const {
    std::string line;
    char c;
    while (read(out, &c, 1) == 1 && c != '\n')
      line += c;
    return line;
  }
};

inline Child Spawn(std::vector<std::string> args, std::vector<std::string> env = {}) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  Child child;
  child.pid = fork();
  if (child.pid == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    for (const auto& e : env)
      putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (auto& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  child.out = pipeFds[0];
  return child;
}

inline void Pump(double seconds) {
  const auto start = Clock::now();
  while (Since(start) < seconds)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The kernel's drops on every socket bound to `port` (the "drops" column of
// /proc/net/udp).
inline long DropsOn(int port) {
  std::ifstream udp("/proc/net/udp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  std::string line;
  std::getline(udp, line); // header
  long drops = 0;
  while (std::getline(udp, line)) {
    std::istringstream fields(line);
    std::vector<std::string> field;
    for (std::string f; fields >> f;)
      field.push_back(f);
    const std::string& local = field.size() > 1 ? field[1] : line;
    if (local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0)
      drops += std::atol(field.back().c_str());
  }
  return drops;
}

} // namespace bench
