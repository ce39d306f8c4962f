// The figures that run the real program in an X server of the benchmark's
// own (4. start-up, 5. resident memory, 6. "Quitter" in a flood, 8. a long
// flood), and the floods from many addresses (9., 10., 17.), read partly in the
// real program and partly in a window in this process (flood_measures.h).
#include "x11_measures.h"

#include "flood_measures.h"
#include "processes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

// 8. A long flood: one address floods at full speed while another sends a
// few messages a second. Memory at a third and at the end, the second
// sender's messages read back from the history, "Quitter" at the end.
void LongFlood(Context& context, Xserver& x, long startRss, double idleQuit) {
  const auto seconds = double(context.counts.longFloodSeconds);
  const double early = seconds / 3;
  const auto rate = double(context.counts.neighbourRate);
  Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
  // The neighbour chats from a second before the flood, as neighbours do:
  // the reserve is kept for those who were chatting before it began.
  Child neighbour = Send(context, long(rate * (seconds - 1)), rate, 0,
                         {"BENCH_FROM=" + context.network.neighbour, "BENCH_NICK=Voisin"});
  usleep(1000000);
  const auto start = Clock::now();
  Child flooder = Send(context, 1000000000000, 0, seconds + 5);
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
  std::istringstream history(HistoryText(x, chat));
  long next = 0;
  bool inOrder = true;
  // Each shows as its header line, then its message line.
  for (std::string line, message; std::getline(history, line);) {
    if (line != "Voisin a dit :" || !std::getline(history, message)) continue;
    inOrder = inOrder && message == "message " + std::to_string(next);
    ++next;
  }
  const double quit = ClickQuitter(x, chat);
  Stop(flooder);

  const double growth = double(rssLate - rssEarly) / 1e6;
  context.Record(
      Key::LongFloodMemory,
      {Format("%.1f", double(rssEarly) / 1e6) + Format(" / %.1f MB", double(rssLate) / 1e6),
       Format("%.1f MB at start-up", double(startRss) / 1e6), growth, 0});
  context.Record(Key::Neighbour,
                 {std::to_string(next) + " of " + std::to_string(sent),
                  std::to_string(sent) + " sent", double(next), double(sent), sent > 0 && inOrder});
  context.Record(Key::LongFloodQuit,
                 {Format("%.0f ms", quit), Format("%.0f ms idle", idleQuit), quit, idleQuit});
}

// The real program under a flood of many addresses: resident set at
// `early` s, and at `clickAt` s, when "Quitter" is clicked, the flood going on.
struct RealFlood {
  long rssEarly = 0, rssLate = 0;
  double quit = 0;
};

RealFlood RealUnderFlood(const Context& context, Xserver& x, Flood flood, double early,
                         double clickAt) {
  Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
  const auto start = Clock::now();
  flood.seconds = clickAt + 5;
  Child flooder = Spawn(FloodCommand(context.Setup(), flood));
  RealFlood result;
  while (Since(start) < clickAt) {
    if (result.rssEarly == 0 && Since(start) >= early) result.rssEarly = RssOf(chat.child.pid);
    usleep(20000);
  }
  result.rssLate = RssOf(chat.child.pid);
  result.quit = ClickQuitter(x, chat);
  Stop(flooder);
  return result;
}

Reading MB(long bytes, const std::string& baseline, double base) {
  return {Format("%.1f MB", double(bytes) / 1e6), baseline, double(bytes) / 1e6, base};
}

Reading Quit(double quit, double idleQuit) {
  return {Format("%.0f ms", quit), Format("%.0f ms idle", idleQuit), quit, idleQuit};
}

Reading Keys(const Keystrokes& keys, const Keystrokes& idle) {
  std::fprintf(stderr,
               "    %ld keystrokes; the window's thread ran %.1f s, waited for a core %.1f s;"
               " during the slowest, ran %.1f ms, waited %.1f ms\n",
               keys.count, keys.ran, keys.waited, keys.slowestRan, keys.slowestWaited);
  return {Format("%.1f ms", keys.slowest), Format("%.1f ms idle", idle.slowest), keys.slowest,
          idle.slowest, keys.count > 0};
}

// 9. The worst flood: the real program's memory against the stated budget
// and "Quitter" at its end; then keystrokes in a window here.
void WorstFlood(Context& context, Xserver& x, long startRss, double idleQuit,
                const Keystrokes& idleKeys) {
  const Counts& c = context.counts;
  const Flood flood{c.worstAddresses, c.worstSize, double(c.worstSeconds)};
  const RealFlood real =
      RealUnderFlood(context, x, flood, double(c.worstEarly), double(c.worstSeconds));
  constexpr double kMiB = 1 << 20;
  const double budget = (double(startRss) + (128 + 16 + 16 + 2) * kMiB) / 1e6;
  const std::string stated =
      Format("%.1f MB stated", budget) + Format(" (%.1f + 169.9)", double(startRss) / 1e6);
  context.Record(Key::WorstEarly, MB(real.rssEarly, stated, budget));
  context.Record(Key::WorstLate, MB(real.rssLate, stated, budget));
  context.Record(Key::WorstQuit, Quit(real.quit, idleQuit));
  FloodSetup quiet = context.Setup();
  quiet.neighbourRate = 0;
  const AsOrdinaryUser user;
  context.Record(Key::WorstKeys, Keys(InWindow(quiet, flood).keys, idleKeys));
}

// The rows of one flood beside a plain socket (10., 17.).
struct FloodRows {
  long addresses;
  double seconds;
  std::array<Key, 5> keys; // drops, neighbours, keystrokes, "Quitter"
};

// Drops and the neighbours' share in a window here beside a plain socket,
// keystrokes, then "Quitter" in the real program halfway through the flood.
void BesidePlainSocket(Context& context, Xserver& x, const FloodRows& rows, double idleQuit,
                       const Keystrokes& idleKeys) {
  const auto share = [](long part, long whole) {
    return whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
  };
  const auto shares = [&](long part, long whole) {
    return Format("%.2f %%", share(part, whole)) + " (" + Thousands(part) + " of " +
           Thousands(whole) + ")";
  };
  const Flood flood{rows.addresses, 0, rows.seconds};
  // The plain socket and the window's are opened as the ordinary user's:
  // the receive buffer the system grants them is a user's.
  const AsOrdinaryUser user;
  const UnderFlood plain = InPlainSocket(context.Setup(), flood);
  const UnderFlood window = InWindow(context.Setup(), flood);
  const auto key = [&](int i) { return rows.keys[std::size_t(i)]; };
  context.Record(key(0), {shares(window.drops, window.sent), shares(plain.drops, plain.sent),
                          share(window.drops, window.sent), share(plain.drops, plain.sent)});
  const auto lost = [&](const Heard& heard) { return heard.sent - heard.shown; };
  const auto lostOf = [&](const Heard& heard) {
    return Thousands(lost(heard)) + " of " + Thousands(heard.sent);
  };
  for (const auto& [row, ours, base] : {std::tuple{key(1), window.neighbour, plain.neighbour},
                                        std::tuple{key(2), window.late, plain.late}})
    context.Record(row, {lostOf(ours), lostOf(base), share(lost(ours), ours.sent),
                         share(lost(base), base.sent), ours.sent > 0});
  context.Record(key(3), Keys(window.keys, idleKeys));
  const RealFlood real = RealUnderFlood(context, x, flood, 0, rows.seconds / 2);
  context.Record(key(4), Quit(real.quit, idleQuit));
}

// 10. Many sources: 300,000 addresses, then 5,000.
void ManySources(Context& context, Xserver& x, double idleQuit, const Keystrokes& idleKeys) {
  const Counts& c = context.counts;
  const auto seconds = double(c.manySeconds);
  for (const FloodRows& rows :
       {FloodRows{
            c.manyAddresses,
            seconds,
            {Key::ManyDrops, Key::ManyNeighbour, Key::ManyLate, Key::ManyKeys, Key::ManyQuit}},
        FloodRows{c.fewAddresses,
                  seconds,
                  {Key::FewDrops, Key::FewNeighbour, Key::FewLate, Key::FewKeys, Key::FewQuit}}})
    BesidePlainSocket(context, x, rows, idleQuit, idleKeys);
}

// 17. The real program under the one-address flood, run as `as` with
// net.core.rmem_max at `limit`: the neighbours' messages that did not reach
// its history, read back from it, beside a plain socket run the same way.
void RealBesidePlainSocket(Context& context, Xserver& x, Key key, RunAs as, long limit) {
  if (!SetReceiveLimit(limit)) {
    std::fprintf(stderr, "  net.core.rmem_max cannot be set (bench/run.sh hands over the host's "
                         "network namespace): 17.'s rows for each setting not measured\n");
    return;
  }
  const Flood flood{1, 0, double(context.counts.oneSeconds)};
  const FloodSetup setup = context.Setup();
  const int port = context.network.port;
  UnderFlood plain;
  {
    std::optional<AsOrdinaryUser> user;
    if (as == RunAs::User) user.emplace();
    plain = InPlainSocket(setup, flood);
  }
  Started chat = Start(context, x, context.Bin("../app/lanchat"), true, as);
  const long dropsBefore = DropsOn(port);
  UnderFlood real = SendersAlone(setup, flood);
  usleep(500000); // what its socket still holds reaches the history
  real.drops = DropsOn(port) - dropsBefore;
  std::istringstream history(HistoryText(x, chat));
  for (std::string line; std::getline(history, line);) {
    if (line == "Voisin a dit :") ++real.neighbour.shown;
    if (line == "Voisine a dit :") ++real.late.shown;
  }
  ClickQuitter(x, chat);
  SetReceiveLimit(kPackageReceiveLimit);
  const auto lost = [](const UnderFlood& under) {
    return under.neighbour.sent - under.neighbour.shown + under.late.sent - under.late.shown;
  };
  const auto text = [&](const UnderFlood& under) {
    return Thousands(lost(under)) + " of " + Thousands(under.neighbour.sent + under.late.sent) +
           ", " + Thousands(under.drops) + " kernel drops";
  };
  context.Record(key, {text(real), text(plain), double(lost(real)), double(lost(plain)),
                       real.neighbour.sent > 0});
}

// 17. One loud address: the reader keeps up with it as a plain socket does;
// then the real program as an ordinary user on a fresh Debian's limit and
// with the package's, and as root.
void OneLoudAddress(Context& context, Xserver& x, double idleQuit, const Keystrokes& idleKeys) {
  BesidePlainSocket(context, x,
                    {1,
                     double(context.counts.oneSeconds),
                     {Key::OneDrops, Key::OneNeighbour, Key::OneLate, Key::OneKeys, Key::OneQuit}},
                    idleQuit, idleKeys);
  for (const auto& [key, as, limit] :
       {std::tuple{Key::OneUserDefault, RunAs::User, kDebianReceiveLimit},
        std::tuple{Key::OneUserPackage, RunAs::User, kPackageReceiveLimit},
        std::tuple{Key::OneRootDefault, RunAs::Root, kDebianReceiveLimit}})
    RealBesidePlainSocket(context, x, key, as, limit);
}

} // namespace

void InXserver(Context& context) {
  Xserver x;
  if (!x.Start()) {
    std::fprintf(stderr, "  Xvfb did not start: start-up, memory and floods not measured\n");
    return;
  }
  // 4. Start-up, and 5. resident memory after it.
  std::vector<double> ours, base;
  long rss = 0, baseRss = 0;
  for (long i = 0; i < (context.Wants(4) ? context.counts.startRuns : 1); ++i) {
    Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
    ours.push_back(chat.seconds);
    std::fprintf(stderr, "    start-up: lanchat %.1f ms", chat.seconds * 1000);
    usleep(300000);
    rss = RssOf(chat.child.pid);
    Stop(chat.child);
    Started empty = Start(context, x, context.Bin("bench_empty_window"), false);
    base.push_back(empty.seconds);
    std::fprintf(stderr, ", empty window %.1f ms\n", empty.seconds * 1000);
    usleep(300000);
    baseRss = RssOf(empty.child.pid);
    Stop(empty.child);
  }
  const double median = Median(ours) * 1000, baseMedian = Median(base) * 1000;
  if (context.Wants(4))
    context.Record(Key::StartUp, {Format("%.0f ms", median),
                                  Format("%.0f ms empty window", baseMedian), median, baseMedian});
  if (context.Wants(5))
    context.Record(Key::Resident, {Format("%.1f MB", double(rss) / 1e6),
                                   Format("%.1f MB empty window", double(baseRss) / 1e6),
                                   double(rss) / 1e6, double(baseRss) / 1e6});

  // 6. "Quitter" while another process floods the port, beside an idle click.
  const double floodSeconds = context.counts.floodSeconds;
  double idleQuit = 0, floodQuit = 0;
  long peak = 0;
  for (const bool flood : {false, true}) {
    if (flood && !context.Wants(6)) break; // the idle click only
    Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
    Child flooder;
    const auto floodStart = Clock::now();
    if (flood) flooder = Send(context, 1000000000, 0, floodSeconds);
    while (flood && Since(floodStart) < floodSeconds / 2) {
      peak = std::max(peak, RssOf(chat.child.pid));
      usleep(50000);
    }
    if (!flood) usleep(300000);
    (flood ? floodQuit : idleQuit) = ClickQuitter(x, chat, [&] {
      if (flood) peak = std::max(peak, RssOf(chat.child.pid));
    });
    if (flood) flooder.Wait(); // the flood over before the next measure
  }
  if (context.Wants(6)) {
    context.Record(Key::FloodQuit, {Format("%.0f ms", floodQuit), Format("%.0f ms idle", idleQuit),
                                    floodQuit, idleQuit});
    context.Record(Key::FloodPeak,
                   {Format("%.1f MB", double(peak) / 1e6), "-", double(peak) / 1e6});
  }

  if (context.Wants(8)) LongFlood(context, x, rss, idleQuit);
  if (!context.Wants(9) && !context.Wants(10) && !context.Wants(17)) return;
  const Keystrokes idleKeys = Idle(context.quick ? 1 : 5);
  if (context.Wants(9)) WorstFlood(context, x, rss, idleQuit, idleKeys);
  if (context.Wants(10)) ManySources(context, x, idleQuit, idleKeys);
  if (context.Wants(17)) OneLoudAddress(context, x, idleQuit, idleKeys);
}

} // namespace bench
