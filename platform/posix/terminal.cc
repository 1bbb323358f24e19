#include "platform/terminal.h"

#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/interrupt.h"

namespace platform {

const char* const kTerminalDevice = "/dev/tty";

namespace {

// What puts the terminal back when a signal ends the process while a form is open. A signal
// handler may only read these, and write() and tcsetattr() are safe to call there.
int g_ttyFd = -1;
struct termios g_savedModes;
char g_leaveSequence[512];
volatile sig_atomic_t g_leaveLength = 0;
volatile sig_atomic_t g_restoreArmed = 0;

void RestoreOnInterrupt() {
  if (!g_restoreArmed) return;
  if (g_leaveLength > 0 && write(g_ttyFd, g_leaveSequence, g_leaveLength) < 0) {
    // Nothing more can be done from a signal handler.
  }
  tcsetattr(g_ttyFd, TCSANOW, &g_savedModes);
}

bool HasCapability(const char* name) {
  const char* value = tigetstr(name);
  return value != nullptr && value != reinterpret_cast<const char*>(-1);
}

// The control strings that undo what a full-screen program switched on: attributes, the
// cursor, the keypad mode and the alternate screen.
void PrepareLeaveSequence() {
  size_t length = 0;
  for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"}) {
    if (!HasCapability(name)) continue;
    const char* value = tigetstr(name);
    size_t size = std::strlen(value);
    if (length + size > sizeof g_leaveSequence) break;
    std::memcpy(g_leaveSequence + length, value, size);
    length += size;
  }
  g_leaveLength = static_cast<sig_atomic_t>(length);
}

// Decodes the next character of `text` in the locale's encoding. Bytes that do not decode, and
// characters that cannot be shown, become a question mark standing for one byte.
wchar_t DecodeNext(std::string_view text, size_t* used) {
  std::mbstate_t state{};
  wchar_t wc = 0;
  size_t n = std::mbrtowc(&wc, text.data(), text.size(), &state);
  if (n == 0 || n > text.size() || wcwidth(wc) < 0) {
    *used = 1;
    return L'?';
  }
  *used = n;
  return wc;
}

attr_t Attributes(unsigned style) {
  attr_t attrs = A_NORMAL;
  if (style & kStyleReverse) attrs |= A_REVERSE;
  if (style & kStyleDim) attrs |= A_DIM;
  if (style & kStyleBold) attrs |= A_BOLD;
  if (style & kStyleUnderline) attrs |= A_UNDERLINE;
  return attrs;
}

Key FunctionKey(wint_t code) {
  switch (code) {
    case KEY_RESIZE:
      return Key{KeyKind::kResize, ""};
    case KEY_BTAB:
      return Key{KeyKind::kBackTab, ""};
    case KEY_ENTER:
      return Key{KeyKind::kEnter, ""};
    case KEY_LEFT:
      return Key{KeyKind::kLeft, ""};
    case KEY_RIGHT:
      return Key{KeyKind::kRight, ""};
    case KEY_UP:
      return Key{KeyKind::kUp, ""};
    case KEY_DOWN:
      return Key{KeyKind::kDown, ""};
    case KEY_HOME:
      return Key{KeyKind::kHome, ""};
    case KEY_END:
      return Key{KeyKind::kEnd, ""};
    case KEY_BACKSPACE:
      return Key{KeyKind::kBackspace, ""};
    case KEY_DC:
      return Key{KeyKind::kDelete, ""};
    default:
      return Key{};
  }
}

constexpr wint_t kEscapeCode = 27;
// How long an Esc waits for the rest of a sequence, in milliseconds.
constexpr int kEscapeDelayMs = 25;
// Control sequences longer than this are not read to their end.
constexpr int kLongestSequence = 32;

Key CharacterKey(wint_t wc) {
  switch (wc) {
    case '\t':
      return Key{KeyKind::kTab, ""};
    case '\r':
    case '\n':
      return Key{KeyKind::kEnter, ""};
    case 3:
      return Key{KeyKind::kInterrupt, ""};
    case 8:
    case 127:
      return Key{KeyKind::kBackspace, ""};
    default:
      break;
  }
  if (wc < 32) return Key{};
  char bytes[MB_LEN_MAX];
  std::mbstate_t state{};
  size_t n = std::wcrtomb(bytes, static_cast<wchar_t>(wc), &state);
  if (n == static_cast<size_t>(-1)) return Key{};
  return Key{KeyKind::kText, std::string(bytes, n)};
}

class CursesTerminal : public Terminal {
 public:
  ~CursesTerminal() override;
  // Opens the terminal; false with the reason when it cannot.
  bool Open(std::string* reason);

  int Rows() const override { return getmaxy(stdscr); }
  int Cols() const override { return getmaxx(stdscr); }
  int CharWidth(std::string_view character) const override;
  void Clear() override { werase(stdscr); }
  void Put(int row, int col, std::string_view text, unsigned style) override;
  void Frame(int top, int left, int height, int width) override;
  void PlaceCursor(int row, int col) override { wmove(stdscr, row, col); }
  void Update() override { wrefresh(stdscr); }
  Key ReadKey() override;

 private:
  bool StartCurses(std::string* reason);
  Key AfterEscape();
  // The next character if one comes within the escape delay: OK, KEY_CODE_YES or ERR.
  int ReadWithinEscapeDelay(wint_t* code);

  FILE* tty_ = nullptr;
  SCREEN* screen_ = nullptr;
  std::string saved_ctype_;
};

bool CursesTerminal::Open(std::string* reason) {
  int fd = open(kTerminalDevice, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || tcgetattr(fd, &g_savedModes) != 0) {
    *reason = std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  tty_ = fdopen(fd, "r+");
  if (tty_ == nullptr) {
    *reason = std::strerror(errno);
    close(fd);
    return false;
  }
  g_ttyFd = fd;
  g_leaveLength = 0;
  g_restoreArmed = 1;
  SetInterruptHook(RestoreOnInterrupt);
  return StartCurses(reason);
}

bool CursesTerminal::StartCurses(std::string* reason) {
  const char* type = std::getenv("TERM");
  if (type == nullptr || *type == '\0') {
    *reason = "the terminal type is not set (TERM)";
    return false;
  }
  saved_ctype_ = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "");
  use_tioctl(TRUE);
  screen_ = newterm(type, tty_, tty_);
  if (screen_ == nullptr || !HasCapability("cup")) {
    *reason = std::string("the terminal type '") + type + "' is unknown or cannot hold a form";
    return false;
  }
  PrepareLeaveSequence();
  raw();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  meta(stdscr, TRUE);
  set_escdelay(kEscapeDelayMs);
  curs_set(1);
  return true;
}

CursesTerminal::~CursesTerminal() {
  if (screen_ != nullptr) endwin();
  if (tty_ != nullptr) {
    tcsetattr(g_ttyFd, TCSANOW, &g_savedModes);
    g_restoreArmed = 0;
    SetInterruptHook(nullptr);
  }
  if (screen_ != nullptr) delscreen(screen_);
  if (tty_ != nullptr) std::fclose(tty_);
  if (!saved_ctype_.empty()) std::setlocale(LC_CTYPE, saved_ctype_.c_str());
}

int CursesTerminal::CharWidth(std::string_view character) const {
  int width = 0;
  for (size_t used = 0; !character.empty(); character.remove_prefix(used)) {
    width += wcwidth(DecodeNext(character, &used));
  }
  return width;
}

void CursesTerminal::Put(int row, int col, std::string_view text, unsigned style) {
  attr_t attrs = Attributes(style);
  int cols = Cols();
  for (size_t used = 0; !text.empty(); text.remove_prefix(used)) {
    wchar_t wc[2] = {DecodeNext(text, &used), L'\0'};
    int width = wcwidth(wc[0]);
    if (width == 0) continue;
    if (col + width > cols) return;
    cchar_t cell;
    setcchar(&cell, wc, attrs, 0, nullptr);
    mvwadd_wch(stdscr, row, col, &cell);
    col += width;
  }
}

void CursesTerminal::Frame(int top, int left, int height, int width) {
  int bottom = top + height - 1, right = left + width - 1;
  mvwhline(stdscr, top, left + 1, ACS_HLINE, width - 2);
  mvwhline(stdscr, bottom, left + 1, ACS_HLINE, width - 2);
  mvwvline(stdscr, top + 1, left, ACS_VLINE, height - 2);
  mvwvline(stdscr, top + 1, right, ACS_VLINE, height - 2);
  mvwaddch(stdscr, top, left, ACS_ULCORNER);
  mvwaddch(stdscr, top, right, ACS_URCORNER);
  mvwaddch(stdscr, bottom, left, ACS_LLCORNER);
  mvwaddch(stdscr, bottom, right, ACS_LRCORNER);
}

Key CursesTerminal::ReadKey() {
  wint_t code = 0;
  errno = 0;
  int rc = wget_wch(stdscr, &code);
  if (rc == KEY_CODE_YES) return FunctionKey(code);
  if (rc == OK) return code == kEscapeCode ? AfterEscape() : CharacterKey(code);
  return Key{errno == EINTR ? KeyKind::kNone : KeyKind::kClosed, ""};
}

int CursesTerminal::ReadWithinEscapeDelay(wint_t* code) {
  wtimeout(stdscr, kEscapeDelayMs);
  int rc = wget_wch(stdscr, code);
  wtimeout(stdscr, -1);
  return rc;
}

// An Esc with nothing after it within the escape delay is the Esc key. Alt plus a key comes as
// Esc and that key at once, and so do the keys whose sequences the terminal's description does
// not name: such input is read whole and ignored, so that it cannot cancel the form.
Key CursesTerminal::AfterEscape() {
  wint_t code = 0;
  int rc = ReadWithinEscapeDelay(&code);
  if (rc == ERR) return Key{KeyKind::kEscape, ""};
  if (rc == KEY_CODE_YES) return code == KEY_RESIZE ? Key{KeyKind::kResize, ""} : Key{};
  if (code == '[') {
    // A control sequence: parameter and intermediate bytes, then one final byte.
    for (int i = 0; i < kLongestSequence; ++i) {
      if (ReadWithinEscapeDelay(&code) != OK || code < 0x20 || code > 0x3F) break;
    }
  } else if (code == 'O') {
    ReadWithinEscapeDelay(&code);  // the one byte of a single-shift sequence
  }
  return Key{};
}

}  // namespace

std::unique_ptr<Terminal> OpenTerminal(std::string* reason) {
  auto terminal = std::make_unique<CursesTerminal>();
  if (!terminal->Open(reason)) return nullptr;
  return terminal;
}

}  // namespace platform
