// The counts a run measures with (a full run, --quick) and the chat's
// address and port as this build has them.
#include "figures.h"

#include <lanchat/BuildConfig.h>
#include <ui/Form1Layout.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <variant>

namespace bench {

// 100000 as "100,000".
std::string Thousands(long value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

const Counts kFull{.burst = 100000,
                   .pacedRate = 50000,
                   .fillSome = 100000,
                   .fillMany = 1000000,
                   .growthMessages = 10000,
                   .sends = 1000,
                   .startRuns = 40,
                   .perLineLines = 1000000,
                   .floodSeconds = 5,
                   .historyLines = 1000000,
                   .paints = 11,
                   .longFloodSeconds = 90,
                   .neighbourRate = 2,
                   .worstAddresses = 5000,
                   .worstSize = 65507,
                   .worstEarly = 30,
                   .worstSeconds = 90,
                   .manyAddresses = 300000,
                   .fewAddresses = 5000,
                   .manySeconds = 20,
                   .fillCycles = 3,
                   .fillLines = 0,
                   .oneSeconds = 20,

                   .fillSeconds = 60,
                   .fillBaseSeconds = 20,
                   .chatLead = 5,
                   .chatEvery = 2,
                   .chatSize = 1000,
                   .steadyAddresses = 1024,
                   .steadyRate = 4,
                   .steadySize = 600,
                   .pageLines = 300,
                   .longLine = 65507,
                   .pageKeys = 20,
                   .wheelNotches = 15,
                   .undoLines = 10000000,
                   .undoBaseLines = 100000,
                   .selectionLines = 0,
                   .readerFlood = 20,
                   .readerWait = 120,
                   .findMiB = 128,
                   .wineMessages = 5000,
                   .wineFloodSeconds = 20};

const Counts kQuick{.burst = 2000,
                    .pacedRate = 50000,
                    .fillSome = 1000,
                    .fillMany = 10000,
                    .growthMessages = 1000,
                    .sends = 100,
                    .startRuns = 3,
                    .perLineLines = 100000,
                    .floodSeconds = 1.5,
                    .historyLines = 10000,
                    .paints = 11,
                    .longFloodSeconds = 6,
                    .neighbourRate = 2,
                    .worstAddresses = 5000,
                    .worstSize = 65507,
                    .worstEarly = 2,
                    .worstSeconds = 6,
                    .manyAddresses = 300000,
                    .fewAddresses = 5000,
                    .manySeconds = 3,
                    .fillCycles = 3,
                    .fillLines = 200000,
                    .oneSeconds = 3,

                    .fillSeconds = 3,
                    .fillBaseSeconds = 2,
                    .chatLead = 1,
                    .chatEvery = 2,
                    .chatSize = 1000,
                    .steadyAddresses = 1024,
                    .steadyRate = 4,
                    .steadySize = 600,
                    .pageLines = 20,
                    .longLine = 65507,
                    .pageKeys = 3,
                    .wheelNotches = 3,
                    .undoLines = 100000,
                    .undoBaseLines = 10000,
                    .selectionLines = 200000,
                    .readerFlood = 2,
                    .readerWait = 5,
                    .findMiB = 4,
                    .wineMessages = 1000,
                    .wineFloodSeconds = 5};

// The chat's broadcast address and port, as this build of it has them.
Network Configured() {
  Network network{lanchat::config::kBroadcastAddress, 0, "127.0.0.2", "127.0.0.3"};
  for (const auto& component : kForm1Layout.components)
    if (const auto* udp = std::get_if<UdpDesc>(&component)) network.port = udp->localPort;
  return network;
}

bool OnLoopback(const std::string& address) {
  in_addr parsed{};
  return inet_pton(AF_INET, address.c_str(), &parsed) == 1 && (ntohl(parsed.s_addr) >> 24) == 127;
}

} // namespace bench
