#pragma once

#include <optional>
#include <string_view>
#include <variant>
#include <vector>

class TForm;
struct EventTables;

// Plain descriptions of a window and its components: what a layout file
// would hold. Each component description creates its component in a form.

struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Colours named after the system's roles; each maps to the host palette.
enum class SysColor { BtnFace, InfoBk, WindowText, InactiveCaptionText };

enum class Charset { Default, Ansi };

struct FontDesc {
  std::string_view name{};
  int height = -11; // negative: character height in pixels
  bool bold = false;
  Charset charset = Charset::Default;
  SysColor color = SysColor::WindowText;
};

struct FormDesc {
  std::string_view caption{};
  Bounds outer{}; // screen position and outer size, frame included
  SysColor color = SysColor::BtnFace;
  FontDesc font{};
  const char* const* iconXpm = nullptr;
};

struct LabelDesc {
  std::string_view name{};
  Bounds bounds{};
  std::string_view caption{};
  std::optional<FontDesc> font{};
  std::optional<SysColor> color{}; // opaque background
  void Create(TForm& form, const EventTables& events) const;
};

struct ButtonDesc {
  std::string_view name{};
  Bounds bounds{};
  std::string_view caption{};
  std::optional<FontDesc> font{};
  int tabOrder = -1;
  std::string_view onClick{};
  void Create(TForm& form, const EventTables& events) const;
};

struct EditDesc {
  std::string_view name{};
  Bounds bounds{};
  int tabOrder = -1;
  std::string_view label{}; // the label, created before it, that names it
  void Create(TForm& form, const EventTables& events) const;
};

struct RichEditDesc {
  std::string_view name{};
  Bounds bounds{};
  int initialLines = 0;  // empty lines it starts with, besides an empty box
  bool largeLog = false; // holds a long, growing log: lines stored compactly
  int tabOrder = -1;
  std::string_view accessibleName{}; // what assistive technology calls it
  void Create(TForm& form, const EventTables& events) const;
};

// A flat bar along the top edge, as wide as the window's client area.
struct ToolBarDesc {
  std::string_view name{};
  int height = 25;
  SysColor color = SysColor::BtnFace;
  int tabOrder = -1;
  void Create(TForm& form, const EventTables& events) const;
};

struct ToolButtonDesc {
  std::string_view name{};
  std::string_view parent{};
  Bounds bounds{};
  std::string_view caption{}; // held, not shown: the bar shows no captions
  std::string_view accessibleName{};
  void Create(TForm& form, const EventTables& events) const;
};

struct FontDialogDesc {
  static constexpr bool kDrawsNothing = true;
  std::string_view name{};
  FontDesc font{};
  void Create(TForm& form, const EventTables& events) const;
};

struct ColorDialogDesc {
  static constexpr bool kDrawsNothing = true;
  std::string_view name{};
  void Create(TForm& form, const EventTables& events) const;
};

// A component that draws nothing (an endpoint, a dialog made on demand) is
// made before the window shows.
template <class Desc>
concept DrawsNothing = requires {
  requires Desc::kDrawsNothing;
};

template <class... ComponentDescs> struct FormLayout {
  FormDesc form;
  std::vector<std::variant<ComponentDescs...>> components;
};
