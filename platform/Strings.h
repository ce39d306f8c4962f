#pragma once

#include <classes/Classes.h>
#include <text/Codec.h>

// The lines of a multi-line box. Text added is plain text in the wire's code
// page; each line break in it starts another line. One implementation for
// each kind of box, in each platform's layer.
class TStrings {
public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  virtual ~TStrings() = default;

  void Add(const AnsiString& text) { Add(text::FromWire(text)); }
  virtual void Add(const text::Decoded& text) = 0;
  // The lines added between BeginUpdate and EndUpdate go in as one
  // insertion, drawn once: assistive technology hears them together.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  [[nodiscard]] virtual int Count() const = 0;
  // Whether a message may still be added: a history has a budget, and
  // when full it turns messages away and tells the user so, once.
  [[nodiscard]] virtual bool HasRoom() { return true; }
};
