#pragma once

class EditModel;
class HistoryView;

// Makes a HistoryView an editable text to assistive technology: installs
// the accessible interface's factory (once), and reports the changes and
// cursor moves of `model`, the view's own, as accessibility events. Appended lines
// (arrivals) are reported at the pace of chat::ArrivalPace: the first after a
// quiet second at once, those that follow it together, at most once a
// second, so that a flood of arrivals does not flood the screen reader.
void AttachAccessibility(HistoryView& view, EditModel& model);

// The most text, in UTF-16 units, that one request of assistive technology
// is handed (the text between two offsets, the whole text) and that one
// change event carries: the start of what was asked, never another text.
// A screen reader handed a selection of millions of characters (Ctrl+A in a
// full history) works through all of it before it answers a key; one that
// wants more asks again from where the answer ended.
inline constexpr int kAccessibleTextLimit = 1 << 14;
