#include "ui/UdpDesc.h"

#include "platform/Forms.h"
#include "platform/Notices.h"

#include <string>

void UdpDesc::Create(TForm& form, const EventTables& events) const {
  auto& udp = form.Create<TNMUDP>(
      std::string(name),
      TNMUDP::Settings{localPort, remotePort, std::string(remoteHost), reportLevel, {}, cost});
  if (!onDataReceived.empty()) udp.OnDataReceived = events.dataReceived.Bind(onDataReceived, form);
  udp.OnTurnedAway = [&form](const FloodTally::Tally& tally) {
    TellTurnedAway(tally.flood, tally.turnedAway, form);
  };
}
