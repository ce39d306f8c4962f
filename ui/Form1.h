#pragma once

#include "net/NMUDP.h"
#include "platform/Forms.h"

// The main window: the one window of the chat, and the owner of everything
// in it. Its members and their settings all come from its layout.
class TForm1 : public TForm {
public:
  explicit TForm1(TComponent* Owner);

  TLabel* const Label1;
  TButton* const Button1;
  TEdit* const Edit2;
  TButton* const Button2;
  TToolBar* const ToolBar1;
  TToolButton* const ToolButton1;
  TToolButton* const ToolButton2;
  TToolButton* const ToolButton3;
  TRichEdit* const RichEdit1;
  TRichEdit* const RichEdit2;
  TNMUDP* const NMUDP1;
  TFontDialog* const FontDialog1;
  TColorDialog* const ColorDialog1;

  // Bound by name in the layout.
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void NMUDP1DataReceived(TComponent* Sender, int NumberBytes, AnsiString FromIP, int Port);
};

extern TForm1* Form1;
