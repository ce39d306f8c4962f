#include "ui/UdpDesc.h"

#include "platform/Forms.h"
#include "platform/Notices.h"

#include <string>

void UdpDesc::Create(TForm& form, const EventTables& events) const {
  auto& udp = form.Create<TNMUDP>(
      std::string(name),
      TNMUDP::Settings{localPort, remotePort, std::string(remoteHost), reportLevel, {}, cost});
  if (!onDataReceived.empty()) udp.OnDataReceived = events.dataReceived.Bind(onDataReceived, form);
  QWidget* window = form.Window();
  udp.OnTurnedAway = [window](const FloodTally::Tally& tally) {
    TellTurnedAway(tally.flood, tally.turnedAway, window);
  };
}
