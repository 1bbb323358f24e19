// A full-screen form on the controlling terminal: drawing cells and reading keys.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A key as a form sees it, with the terminal's own codes already decoded.
enum class KeyKind {
  kNone,  // nothing a form reacts to
  kText,  // one character, in `Key::text` (UTF-8)
  kTab,
  kBackTab,  // Shift-Tab
  kEnter,
  kEscape,
  kInterrupt,  // Ctrl-C
  kLeft,
  kRight,
  kUp,
  kDown,
  kHome,
  kEnd,
  kBackspace,
  kDelete,
  kResize,  // the terminal changed its size: draw again
  kClosed,  // the terminal is gone: no more keys will come
};

struct Key {
  KeyKind kind = KeyKind::kNone;
  std::string text;
};

// How text is drawn; styles combine.
enum Style : unsigned {
  kStylePlain = 0,
  kStyleReverse = 1,  // a title bar, the focused button
  kStyleDim = 2,      // something that cannot be used now
  kStyleBold = 4,
  kStyleUnderline = 8,  // an input field
};

// A grid of character cells, rows and columns counted from 0 at the top left. Drawing goes to
// a hidden copy of the screen until Update shows it.
class Terminal {
 public:
  virtual ~Terminal() = default;
  virtual int Rows() const = 0;
  virtual int Cols() const = 0;
  // Columns the UTF-8 character `character` takes on screen (1 or 2).
  virtual int CharWidth(std::string_view character) const = 0;
  virtual void Clear() = 0;
  // Draws `text` from (`row`, `col`) on, cut off at the screen's right edge.
  virtual void Put(int row, int col, std::string_view text, unsigned style) = 0;
  // Draws the line frame of a rectangle.
  virtual void Frame(int top, int left, int height, int width) = 0;
  virtual void PlaceCursor(int row, int col) = 0;
  virtual void Update() = 0;
  // Waits for the next key.
  virtual Key ReadKey() = 0;
};

// Opens the process's controlling terminal (not its standard streams, which stay free for
// other output) for a full-screen form, taking the character type from the environment's
// locale and nothing else. The terminal is restored when the object is destroyed, and also when
// the process is ended by a signal in the meantime. Returns nullptr, with the reason, when there
// is no terminal to open or it cannot hold a form.
std::unique_ptr<Terminal> OpenTerminal(std::string* reason);

// Where a form is shown (the terminal device; on Windows the desktop), for messages.
extern const char* const kTerminalDevice;

}  // namespace platform
