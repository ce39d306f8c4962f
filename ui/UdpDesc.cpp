#include "ui/UdpDesc.h"

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Notices.h"

#include <algorithm>
#include <string>

void UdpDesc::Create(TForm& form, const EventTables& events) const {
  // A flood's first burst takes at most half of what the history holds, so
  // that the people chatting beside it still find room: on Windows, whose
  // history holds far less, the burst is smaller.
  TNMUDP::Limits limits;
  auto& burst = limits.allowance.shared.byteBurst;
  burst = std::min(burst, static_cast<double>(HistoryBudget()) / 2);
  auto& udp = form.Create<TNMUDP>(
      std::string(name),
      TNMUDP::Settings{localPort, remotePort, std::string(remoteHost), reportLevel, limits, cost});
  if (!onDataReceived.empty()) udp.OnDataReceived = events.dataReceived.Bind(onDataReceived, form);
  udp.OnTurnedAway = [&form](const FloodTally::Tally& tally) {
    TellTurnedAway(tally.flood, tally.turnedAway, form);
  };
}
