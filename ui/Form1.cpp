#include "ui/Form1.h"

#include "ui/Form1Layout.h"

#include <chat/Datagram.h>
#include <text/Codec.h>

#include <algorithm>
#include <string_view>
#include <vector>

TForm1* Form1 = nullptr;

namespace {

const EventTables kForm1Events = {
    .notify = {Handler("Button1Click", &TForm1::Button1Click),
               Handler("Button2Click", &TForm1::Button2Click)},
    .dataReceived = {Handler("NMUDP1DataReceived", &TForm1::NMUDP1DataReceived)},
};

} // namespace

TForm1::TForm1(TComponent* Owner)
    : TForm(Owner, kForm1Layout, kForm1Events), Label1(&Component<TLabel>("Label1")),
      Button1(&Component<TButton>("Button1")), Edit2(&Component<TEdit>("Edit2")),
      Button2(&Component<TButton>("Button2")), ToolBar1(&Component<TToolBar>("ToolBar1")),
      ToolButton1(&Component<TToolButton>("ToolButton1")),
      ToolButton2(&Component<TToolButton>("ToolButton2")),
      ToolButton3(&Component<TToolButton>("ToolButton3")),
      RichEdit1(&Component<TRichEdit>("RichEdit1")), RichEdit2(&Component<TRichEdit>("RichEdit2")),
      NMUDP1(&Component<TNMUDP>("NMUDP1")), FontDialog1(&Component<TFontDialog>("FontDialog1")),
      ColorDialog1(&Component<TColorDialog>("ColorDialog1")) {}

// Broadcasts the nickname and the message as one chat datagram. The history
// is left alone: the datagram comes back to this window like to any other.
void TForm1::Button1Click(TObject* /*Sender*/) {
  const int M = RichEdit2->GetTextLen();
  const int N = Edit2->GetTextLen();
  std::vector<char> message(static_cast<std::size_t>(M) + 1);
  RichEdit2->GetTextBuf(message.data(), M + 1);
  std::vector<char> nickname(static_cast<std::size_t>(N) + 1);
  Edit2->GetTextBuf(nickname.data(), N + 1);

  const std::string_view nick(nickname.data(), static_cast<std::size_t>(N));
  const std::string_view text(message.data(), static_cast<std::size_t>(M));
  if (const auto refusal = chat::RefusalToSend(nick, text)) throw Exception(*refusal);
  const std::vector<char> datagram = chat::ComposeDatagram(nick, text);
  const int size = static_cast<int>(datagram.size());
  NMUDP1->SendBuffer(datagram.data(), size - 1, size);
}

void TForm1::Button2Click(TObject* /*Sender*/) { Close(); }

// Shows an arrived datagram as its header line and its message line, and
// asks for attention when the window is not the active one. A payload
// without the separator is not a chat datagram and is dropped; so is a
// message that finds the history full.
// NOLINTNEXTLINE(performance-unnecessary-value-param): the event type's signature, by value
void TForm1::NMUDP1DataReceived(TComponent* /*Sender*/, int NumberBytes, AnsiString /*FromIP*/,
                                int /*Port*/) {
  std::vector<char> buffer(static_cast<std::size_t>(std::max(NumberBytes, 0)));
  int received = 0;
  NMUDP1->ReadBuffer(buffer.data(), NumberBytes - 1, received);
  const std::string_view payload(buffer.data(), static_cast<std::size_t>(received));
  // Cut once, where the endpoint's cost function cut it on its way in.
  const Cut cut = NMUDP1->CurrentCut();
  const auto parts = !cut.made   ? chat::Split(payload)
                     : cut.found ? chat::SplitAt(payload, cut.at, cut.end)
                                 : std::nullopt;
  if (!parts) return;
  // A full history turns the message away whole, and says so once.
  if (!RichEdit1->Lines->HasRoom()) return;
  // Decoded once, for the history and for the alert.
  const text::Decoded header = text::FromWire(parts->header);
  const text::Decoded message = text::FromWire(parts->message);
  RichEdit1->Lines->BeginUpdate(); // the two lines reach a screen reader as one text
  RichEdit1->Lines->Add(header);
  RichEdit1->Lines->Add(message);
  RichEdit1->Lines->EndUpdate();
  Alert(header, message);
}
