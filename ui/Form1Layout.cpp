#include "ui/Form1Layout.h"

#include "ui/Icon.h"

#include <chat/Datagram.h>
#include <lanchat/BuildConfig.h>

namespace {

constexpr FontDesc kWindowFont{.name = "MS Sans Serif", .height = -11};
constexpr FontDesc kComicBold{
    .name = "Comic Sans MS", .height = -21, .bold = true, .charset = Charset::Ansi};
constexpr FontDesc kLargeSans{.name = "MS Sans Serif", .height = -21};

// What an arrival will cost once shown (chat::HistoryCost), on the reader
// thread. The payload is cut here, once: the cut goes on with it to the
// window's handler (TNMUDP::CurrentCut), which takes it as it is.
std::size_t ArrivalCost(std::string_view payload, Cut& cut) {
  cut.made = true;
  const auto parts = chat::Split(payload);
  if (!parts) return payload.size();
  const chat::CutOffsets offsets = chat::OffsetsOf(payload, *parts);
  cut.found = true;
  cut.at = static_cast<std::uint32_t>(offsets.headerEnd);
  cut.end = static_cast<std::uint32_t>(offsets.messageEnd);
  return chat::HistoryCost(*parts, payload.size());
}

} // namespace

// clang-format off
const Form1Layout kForm1Layout = {
    .form = {.caption = "Form1", .outer = {192, 8, 699, 586}, .color = SysColor::BtnFace,
             .font = kWindowFont, .iconXpm = kLanchatIcon},
    .components = {
        LabelDesc{.name = "Label1", .bounds = {16, 136, 67, 30}, .caption = "pseudo",
                  .font = kComicBold, .color = SysColor::InfoBk},
        ButtonDesc{.name = "Button1", .bounds = {464, 184, 113, 25}, .caption = "Envoyer",
                   .font = kComicBold, .tabOrder = 0, .onClick = "Button1Click"},
        EditDesc{.name = "Edit2", .bounds = {96, 144, 121, 21}, .tabOrder = 1, .label = "Label1"},
        ButtonDesc{.name = "Button2", .bounds = {528, 368, 121, 41}, .caption = "Quitter",
                   .font = kLargeSans, .tabOrder = 2, .onClick = "Button2Click"},
        ToolBarDesc{.name = "ToolBar1", .height = 25, .color = SysColor::InactiveCaptionText,
                    .tabOrder = 3},
        ToolButtonDesc{.name = "ToolButton1", .parent = "ToolBar1", .bounds = {0, 0, 105, 25},
                       .caption = "FontDialog_rec",
                       .accessibleName = "Police des messages reçus"},
        ToolButtonDesc{.name = "ToolButton2", .parent = "ToolBar1", .bounds = {105, 0, 105, 25},
                       .caption = "FontDialog_env",
                       .accessibleName = "Police du message à envoyer"},
        ToolButtonDesc{.name = "ToolButton3", .parent = "ToolBar1", .bounds = {210, 0, 105, 25},
                       .caption = "ColorDialog",
                       .accessibleName = "Couleur"},
        RichEditDesc{.name = "RichEdit1", .bounds = {88, 232, 377, 201}, .initialLines = 1,
                     .largeLog = true, .tabOrder = 4},
        RichEditDesc{.name = "RichEdit2", .bounds = {96, 192, 337, 25}, .tabOrder = 5,
                     .accessibleName = "Message"},
        UdpDesc{.name = "NMUDP1", .localPort = 2000, .remotePort = 2000,
                .remoteHost = lanchat::config::kBroadcastAddress, .reportLevel = 1,
                .onDataReceived = "NMUDP1DataReceived", .cost = ArrivalCost},
        FontDialogDesc{.name = "FontDialog1", .font = kWindowFont},
        ColorDialogDesc{.name = "ColorDialog1"},
    }};
// clang-format on
