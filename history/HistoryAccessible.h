#pragma once

struct TextChange;
class HistoryView;

// Makes a HistoryView an editable text to assistive technology: installs
// the accessible interface's factory (once), and reports the view's text
// changes and cursor moves as accessibility events.
void AttachAccessibility(HistoryView& view);
