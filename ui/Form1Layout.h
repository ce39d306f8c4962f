#pragma once

#include "platform/Layout.h"
#include "ui/UdpDesc.h"

using Form1Layout = FormLayout<LabelDesc, ButtonDesc, EditDesc, ToolBarDesc, ToolButtonDesc,
                               RichEditDesc, UdpDesc, FontDialogDesc, ColorDialogDesc>;

// The main window's layout: every member, in creation order.
extern const Form1Layout kForm1Layout;
