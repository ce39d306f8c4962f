// The benchmark: prints each figure beside a baseline measured in the same
// run. In-process figures use the offscreen platform; start-up and the flood
// run the real program in Xvfb. Loopback only; every loop is bounded.
//
//   lanchat_bench BIN_DIR [--quick]
#include <history/HistoryView.h>
#include <ui/Unit1.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string binDir;
bool quick = false;

struct Row {
  std::string figure, value, baseline, target, verdict;
};
std::vector<Row> rows;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Add(std::string figure, std::string value, std::string baseline, std::string target, bool ok) {
  rows.push_back({std::move(figure), std::move(value), std::move(baseline), std::move(target),
                  ok ? "ok" : "MISSED"});
  std::fprintf(stderr, "  %s: %s (baseline %s)\n", rows.back().figure.c_str(),
               rows.back().value.c_str(), rows.back().baseline.c_str());
}

long RssOf(pid_t pid) {
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

bool Listening(int port) {
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

Child Spawn(std::vector<std::string> args, std::vector<std::string> env = {}) {
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

std::string Bin(const char* name) { return binDir + "/" + name; }

void Pump(double seconds) {
  const auto start = Clock::now();
  while (Since(start) < seconds)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Counts and times the datagrams a window handles, calling its own handler.
struct Meter {
  explicit Meter(TForm1& window) : handler(window.NMUDP1->OnDataReceived) {
    window.NMUDP1->OnDataReceived = [this](TComponent* s, int n, AnsiString ip, int port) {
      const auto t = Clock::now();
      if (count++ == 0) first = t;
      handler(s, n, std::move(ip), port);
      last = Clock::now();
      busy += last - t;
    };
  }
  TUDPDataReceivedEvent handler;
  long count = 0;
  Clock::time_point first, last;
  Clock::duration busy{};
  [[nodiscard]] double Span() const { return std::chrono::duration<double>(last - first).count(); }
};

// ---- 1. Bursts into the history

void Bursts() {
  const long count = quick ? 2000 : 100000;
  for (const double rate : {50000.0, 0.0}) {
    const std::string label = rate > 0 ? "paced at 50,000/s" : "at full speed";
    // Baseline: a receiver that only reads.
    Child receiver = Spawn({Bin("bench_baseline_receiver"), "2000", "500"});
    receiver.ReadLine();
    Child sender = Spawn({Bin("bench_sender"), "127.255.255.255", "2000", std::to_string(count),
                          Format("%.0f", rate)});
    std::istringstream sent(sender.ReadAll());
    sender.Wait();
    long sentCount = 0;
    double sendSeconds = 0;
    sent >> sentCount >> sendSeconds;
    std::istringstream got(receiver.ReadAll());
    receiver.Wait();
    long baseCount = 0;
    double baseSpan = 0;
    got >> baseCount >> baseSpan;

    // The window.
    auto form = std::make_unique<TForm1>(nullptr);
    form->Show();
    Meter meter(*form);
    Child flood = Spawn({Bin("bench_sender"), "127.255.255.255", "2000", std::to_string(count),
                         Format("%.0f", rate)});
    const auto start = Clock::now();
    long lastSeen = -1;
    auto quiet = Clock::now();
    while (Since(start) < 60) {
      Pump(0.05);
      if (meter.count != lastSeen) {
        lastSeen = meter.count;
        quiet = Clock::now();
      } else if (Since(quiet) > 0.5 && waitpid(flood.pid, nullptr, WNOHANG) != 0) {
        break;
      }
    }
    flood.Wait();
    const long shown = (form->RichEdit1->Lines->Count() - 1) / 2;
    const double rateShown = meter.Span() > 0 ? double(shown) / meter.Span() : 0;
    const double rateBase = baseSpan > 0 ? double(baseCount) / baseSpan : 0;
    const long lost = sentCount - shown;
    const long baseLost = sentCount - baseCount;
    if (rate > 0) {
      Add("1. datagrams lost, " + label, std::to_string(lost) + " of " + std::to_string(sentCount),
          std::to_string(baseLost), "none lost", lost == 0);
    } else {
      Add("1. datagrams lost, " + label, std::to_string(lost) + " of " + std::to_string(sentCount),
          std::to_string(baseLost), "<= baseline", lost <= baseLost);
      Add("1. rate into the history, " + label, Format("%.0f/s", rateShown),
          Format("%.0f/s", rateBase), ">= 1/4 of baseline", rateShown >= rateBase / 4);
    }
  }
}

// ---- 2. Growth: the cost of one received message with a full history

void Growth() {
  const std::vector<long> fills =
      quick ? std::vector<long>{0, 1000, 10000} : std::vector<long>{0, 100000, 1000000};
  const long count = quick ? 1000 : 10000;
  std::vector<double> costs;
  for (const long fill : fills) {
    auto form = std::make_unique<TForm1>(nullptr);
    form->Show();
    for (long i = 0; i < fill; ++i)
      form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
    Pump(0.05);
    Meter meter(*form);
    Child sender =
        Spawn({Bin("bench_sender"), "127.255.255.255", "2000", std::to_string(count), "20000"});
    const auto start = Clock::now();
    while (meter.count < count && Since(start) < 30)
      Pump(0.02);
    sender.Wait();
    costs.push_back(std::chrono::duration<double, std::micro>(meter.busy).count() /
                    double(std::max(meter.count, 1L)));
  }
  for (std::size_t i = 1; i < fills.size(); ++i)
    Add("2. cost per message at " + std::to_string(fills[i]) + " lines",
        Format("%.2f us", costs[i]), Format("%.2f us at 0", costs[0]), "within 30 %",
        costs[i] <= costs[0] * 1.3);
}

// ---- 3. Latency from "Envoyer" to both lines in the sender's history

void Latency() {
  const int sends = quick ? 100 : 1000;
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  QTimer wake; // bounds each wait below
  wake.start(100);
  form->Edit2->LineEdit()->setText("Ana");
  form->RichEdit2->TextEdit()->setPlainText("Salut");
  Pump(0.05);
  std::vector<double> samples;
  for (int i = 0; i < sends; ++i) {
    const int before = form->RichEdit1->Lines->Count();
    const auto t = Clock::now();
    form->Button1->Button()->click();
    // Sleep until events come, as the event loop would.
    while (form->RichEdit1->Lines->Count() < before + 2 && Since(t) < 1)
      QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    samples.push_back(Since(t) * 1e6);
  }
  // Baseline: the same trip through plain sockets.
  std::vector<double> base;
  {
    const int in = socket(AF_INET, SOCK_DGRAM, 0), out = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(in, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(out, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(2001);
    bind(in, reinterpret_cast<sockaddr*>(&address), sizeof address);
    address.sin_addr.s_addr = htonl(0x7FFFFFFF);
    char buffer[64];
    for (int i = 0; i < sends; ++i) {
      const auto t = Clock::now();
      sendto(out, "Ana a dit :Salut", 17, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
      recv(in, buffer, sizeof buffer, 0);
      base.push_back(Since(t) * 1e6);
    }
    close(in);
    close(out);
  }
  auto percentile = [](std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
  };
  Add("3. latency p50", Format("%.0f us", percentile(samples, 0.5)),
      Format("%.0f us", percentile(base, 0.5)), "-", true);
  Add("3. latency p99", Format("%.0f us", percentile(samples, 0.99)),
      Format("%.0f us", percentile(base, 0.99)), "< 1000 us", percentile(samples, 0.99) < 1000);
}

// ---- 5b. Memory per history line

// Heap bytes in use: unlike the resident set, it does not depend on what
// earlier figures left in the allocator's free lists.
long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd); // small blocks + mapped ones
}

void MemoryPerLine() {
  const long lines = quick ? 100000 : 1000000;
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.05);
  const long before = HeapInUse();
  for (long i = 0; i < lines; ++i)
    form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
  Pump(0.1);
  const double perLine = double(HeapInUse() - before) / double(lines);
  form.reset();
  // Baseline: the same lines in a vector of strings.
  const long baseBefore = HeapInUse();
  std::vector<std::string> plain;
  for (long i = 0; i < lines; ++i)
    plain.emplace_back("abcdefghijklmnopqrst");
  const double basePerLine = double(HeapInUse() - baseBefore) / double(lines);
  Add("5. memory per history line of 20 characters", Format("%.0f B", perLine),
      Format("%.0f B in a vector<string>", basePerLine), "< 200 B", perLine < 200);
}

// ---- 7. A long history: deleting half of it, copying all of it, painting it

double Millis(Clock::time_point t) { return Since(t) * 1000; }

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// Times the three on the history box and, as the baseline, on a plain text
// box ten times smaller (a million lines take minutes to load in one).
void LongHistory() {
  const long lines = quick ? 10000 : 1000000;
  const long baseLines = lines / 10;
  const int paints = 11;
  const QString line = QStringLiteral("abcdefghijklmnopqrst");
  QClipboard* clipboard = QApplication::clipboard();

  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  for (long i = 0; i < lines; ++i)
    form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
  Pump(0.1);
  HistoryView* view = form->RichEdit1->Log();
  EditModel& model = view->Model();
  const std::size_t count = model.LineCount();
  QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> paint;
  for (int i = 0; i < paints; ++i) {
    const auto t = Clock::now();
    view->render(&image);
    paint.push_back(Millis(t));
  }
  auto t = Clock::now();
  model.SelectAll();
  clipboard->setText(model.SelectedText());
  const double copy = Millis(t);
  const bool copied = static_cast<std::size_t>(clipboard->text().size()) == model.CharacterCount();
  clipboard->clear();
  model.Select({}, {count / 2, 0});
  t = Clock::now();
  model.DeleteSelection();
  const double erase = Millis(t);
  const bool erased = model.LineCount() == count - count / 2;
  const QSize size = view->size();
  form.reset();

  // Baseline: the same on a QPlainTextEdit of the same size on screen.
  QPlainTextEdit box;
  box.resize(size);
  box.setPlainText(QStringList(baseLines, line).join(u'\n'));
  box.show();
  Pump(0.1);
  QImage baseImage(box.size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> basePaint;
  for (int i = 0; i < paints; ++i) {
    t = Clock::now();
    box.render(&baseImage);
    basePaint.push_back(Millis(t));
  }
  t = Clock::now();
  box.selectAll();
  box.copy();
  const double baseCopy = Millis(t);
  clipboard->clear();
  QTextCursor half(box.document());
  half.setPosition(box.document()->findBlockByNumber(static_cast<int>(baseLines / 2)).position(),
                   QTextCursor::KeepAnchor);
  t = Clock::now();
  half.removeSelectedText();
  const double baseErase = Millis(t);

  const std::string at = std::to_string(lines) + " lines";
  const std::string base = " QPlainTextEdit " + std::to_string(baseLines);
  Add("7. delete the first half of " + at, Format("%.1f ms", erase),
      Format("%.1f ms", baseErase) + base, "< 50 ms", erase < 50 && erased);
  Add("7. select all and copy, " + at, Format("%.0f ms", copy), Format("%.0f ms", baseCopy) + base,
      "< 1000 ms", copy < 1000 && copied);
  Add("7. paint a screenful at " + at + " (median)", Format("%.2f ms", Median(paint)),
      Format("%.2f ms", Median(basePaint)) + base, "< 5 ms", Median(paint) < 5);
}

// ---- Programs in a real X server: start-up, resident memory, flood

struct Xserver {
  pid_t pid = -1;
  std::string display;
  xcb_connection_t* connection = nullptr;
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-dpi", "96",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    Child reader{pid, fds[0]};
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    display = ":" + reader.ReadLine();
    close(fds[0]);
    connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) return false;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection,
                                 xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root,
                                 XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    return true;
  }
  // Waits for a top-level window to be mapped; returns its id, or 0.
  xcb_window_t WaitMapped(double seconds) {
    const auto start = Clock::now();
    while (Since(start) < seconds) {
      while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
        const xcb_window_t window =
            mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
        std::free(event);
        if (mapped) return window;
      }
      pollfd p{xcb_get_file_descriptor(connection), POLLIN, 0};
      poll(&p, 1, 1);
    }
    return 0;
  }
  ~Xserver() {
    if (connection != nullptr) xcb_disconnect(connection);
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

struct Started {
  Child child;
  double seconds = 0;
  xcb_window_t window = 0;
};

Started Start(Xserver& x, const std::string& program, bool listens) {
  while (xcb_generic_event_t* stale = xcb_poll_for_event(x.connection))
    std::free(stale);
  const auto t = Clock::now();
  Started started{Spawn({program}, {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb"}), 0, 0};
  started.window = x.WaitMapped(20);
  while (listens && !Listening(2000) && Since(t) < 20)
    usleep(200);
  started.seconds = Since(t);
  return started;
}

void Stop(Child& child) {
  kill(child.pid, SIGTERM);
  child.Wait();
}

// 8. A long flood: one address floods at full speed for 90 s while another
// sends 2 messages a second. Memory at 30 s and at the end, the second
// sender's messages read back from the history, "Quitter" at the end.
void LongFlood(Xserver& x, long startRss, double idleQuit) {
  const double seconds = quick ? 6 : 90;
  const double early = seconds / 3;
  Started chat = Start(x, Bin("../app/lanchat"), true);
  const auto start = Clock::now();
  Child flooder = Spawn({Bin("bench_sender"), "127.255.255.255", "2000", "1000000000000", "0",
                         Format("%.1f", seconds + 5)});
  Child neighbour = Spawn({Bin("bench_sender"), "127.255.255.255", "2000",
                           std::to_string(long(2 * (seconds - 2))), "2"},
                          {"BENCH_FROM=127.0.0.2", "BENCH_NICK=Voisin"});
  long rssEarly = 0;
  while (Since(start) < seconds) {
    if (rssEarly == 0 && Since(start) >= early) rssEarly = RssOf(chat.child.pid);
    usleep(100000);
  }
  const long rssLate = RssOf(chat.child.pid);
  std::istringstream sentText(neighbour.ReadAll());
  neighbour.Wait();
  long sent = 0;
  sentText >> sent;
  // The history, copied as a user would: click in it, Ctrl+A, Ctrl+C.
  const std::string window = std::to_string(chat.window);
  const std::vector<std::string> display = {"DISPLAY=" + x.display};
  Spawn({"xdotool", "mousemove", "--window", window, "250", "300", "click", "1", "key", "ctrl+a",
         "ctrl+c"},
        display)
      .Wait();
  usleep(500000);
  Child paste = Spawn({"xclip", "-o", "-selection", "clipboard"}, display);
  std::istringstream history(paste.ReadAll());
  paste.Wait();
  long next = 0;
  bool inOrder = true;
  // Each shows as its header line, then its message line.
  for (std::string line, message; std::getline(history, line);) {
    if (line != "Voisin a dit :" || !std::getline(history, message)) continue;
    inOrder = inOrder && message == "message " + std::to_string(next);
    ++next;
  }
  const auto click = Clock::now();
  Spawn({"xdotool", "mousemove", "--window", window, "588", "388", "click", "1"}, display).Wait();
  int status = 0;
  while (waitpid(chat.child.pid, &status, WNOHANG) == 0 && Since(click) < 10)
    usleep(500);
  const double quit = Since(click) * 1000;
  if (Since(click) >= 10) Stop(chat.child);
  Stop(flooder);

  const double growth = double(rssLate - rssEarly) / 1e6;
  Add(Format("8. resident memory, flood of %.0f s: at a third / at the end", seconds),
      Format("%.1f", double(rssEarly) / 1e6) + Format(" / %.1f MB", double(rssLate) / 1e6),
      Format("%.1f MB at start-up", double(startRss) / 1e6), "< 50 MB growth after 30 s",
      growth < 50);
  Add("8. second sender at 2/s during the flood: shown, in order",
      std::to_string(next) + " of " + std::to_string(sent), std::to_string(sent) + " sent",
      "all, in order", sent > 0 && next == sent && inOrder);
  Add("8. \"Quitter\" at the end of the long flood", Format("%.0f ms", quit),
      Format("%.0f ms idle", idleQuit), "< 300 ms", quit < 300);
}

void InXserver() {
  Xserver x;
  if (!x.Start()) {
    rows.push_back({"4-6. start-up, memory, flood", "not measured", "-", "needs Xvfb", "MISSED"});
    return;
  }
  // 4. Start-up, and 5. resident memory after it.
  const int runs = quick ? 3 : 10;
  std::vector<double> ours, base;
  long rss = 0, baseRss = 0;
  for (int i = 0; i < runs; ++i) {
    Started chat = Start(x, Bin("../app/lanchat"), true);
    ours.push_back(chat.seconds);
    std::fprintf(stderr, "    start-up: lanchat %.1f ms", chat.seconds * 1000);
    usleep(300000);
    rss = RssOf(chat.child.pid);
    Stop(chat.child);
    Started empty = Start(x, Bin("bench_empty_window"), false);
    base.push_back(empty.seconds);
    std::fprintf(stderr, ", empty window %.1f ms\n", empty.seconds * 1000);
    usleep(300000);
    baseRss = RssOf(empty.child.pid);
    Stop(empty.child);
  }
  std::sort(ours.begin(), ours.end());
  std::sort(base.begin(), base.end());
  const double median = ours[ours.size() / 2] * 1000, baseMedian = base[base.size() / 2] * 1000;
  Add("4. start-up to listening and shown (median)", Format("%.0f ms", median),
      Format("%.0f ms empty window", baseMedian), "<= 1.5 x baseline", median <= 1.5 * baseMedian);
  Add("5. resident memory after start-up", Format("%.1f MB", double(rss) / 1e6),
      Format("%.1f MB empty window", double(baseRss) / 1e6), "< 60 MB", rss < 60'000'000);

  // 6. "Quitter" while another process floods the port, beside an idle click.
  const double floodSeconds = quick ? 1.5 : 5;
  const long bound = 200'000'000;
  double idleQuit = 0, floodQuit = 0;
  long peak = 0;
  for (const bool flood : {false, true}) {
    Started chat = Start(x, Bin("../app/lanchat"), true);
    Child flooder;
    const auto floodStart = Clock::now();
    if (flood)
      flooder = Spawn({Bin("bench_sender"), "127.255.255.255", "2000", "1000000000", "0",
                       Format("%.1f", floodSeconds)});
    while (flood && Since(floodStart) < floodSeconds / 2) {
      peak = std::max(peak, RssOf(chat.child.pid));
      usleep(50000);
    }
    if (!flood) usleep(300000);
    const std::string window = std::to_string(chat.window);
    const auto click = Clock::now();
    Child xdotool = Spawn({"xdotool", "mousemove", "--window", window, "588", "388", "click", "1"},
                          {"DISPLAY=" + x.display});
    xdotool.Wait();
    int status = 0;
    while (waitpid(chat.child.pid, &status, WNOHANG) == 0 && Since(click) < 10) {
      if (flood) peak = std::max(peak, RssOf(chat.child.pid));
      usleep(500);
    }
    (flood ? floodQuit : idleQuit) = Since(click) * 1000;
    if (Since(click) >= 10) Stop(chat.child);
    if (flood) {
      // Keep measuring memory until the flood ends, in a fresh window.
      flooder.Wait();
    }
  }
  Add("6. \"Quitter\" answered during a full-speed flood", Format("%.0f ms", floodQuit),
      Format("%.0f ms idle", idleQuit), "< 300 ms", floodQuit < 300);
  Add("6. peak resident memory during the flood", Format("%.1f MB", double(peak) / 1e6), "-",
      Format("< %.0f MB (stated bound)", double(bound) / 1e6), peak < bound);

  LongFlood(x, rss, idleQuit);
}

void Print() {
  std::printf("\n%-52s %-16s %-28s %-22s %s\n", "figure", "lanchat", "baseline (same run)",
              "target", "");
  for (const Row& row : rows)
    std::printf("%-52s %-16s %-28s %-22s %s\n", row.figure.c_str(), row.value.c_str(),
                row.baseline.c_str(), row.target.c_str(), row.verdict.c_str());
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lanchat_bench BIN_DIR [--quick]\n");
    return 2;
  }
  binDir = argv[1];
  quick = argc > 2 && std::string(argv[2]) == "--quick";
  std::signal(SIGPIPE, SIG_IGN);
  if (Listening(2000)) {
    std::fprintf(stderr, "UDP port 2000 is in use: close every lanchat first.\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::fprintf(stderr, "%s run\n", quick ? "Quick" : "Full");
  Bursts();
  Growth();
  Latency();
  MemoryPerLine();
  LongHistory();
  InXserver();
  Print();
  return 0;
}
