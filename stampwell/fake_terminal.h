// A terminal kept in memory, for testing forms: what they draw, and keys played to them.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"
#include "stampwell/edit_text.h"

class FakeTerminal : public platform::Terminal {
 public:
  FakeTerminal(int rows, int cols) { Resize(rows, cols); }

  void Resize(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    Clear();
  }
  void AddKey(platform::KeyKind kind, std::string text = {}) {
    keys_.push_back(platform::Key{kind, std::move(text)});
  }
  void Type(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
      size_t end = NextCharEnd(text, pos);
      AddKey(platform::KeyKind::kText, std::string(text.substr(pos, end - pos)));
      pos = end;
    }
  }

  // One row as text, and the whole screen with a line feed after each row.
  std::string Row(int row) const {
    std::string text;
    for (const std::string& cell : cells_[static_cast<size_t>(row)]) text += cell;
    return text;
  }
  std::string Screen() const {
    std::string text;
    for (int row = 0; row < rows_; ++row) text += Row(row) + "\n";
    return text;
  }
  unsigned StyleAt(int row, int col) const {
    return styles_[static_cast<size_t>(row)][static_cast<size_t>(col)];
  }
  int CursorRow() const { return cursor_row_; }
  int CursorCol() const { return cursor_col_; }
  // The screen as shown by each Update, oldest first.
  const std::vector<std::string>& Shown() const { return shown_; }

  int Rows() const override { return rows_; }
  int Cols() const override { return cols_; }
  // Characters from U+3000 to U+9FFF take two columns, as on a real terminal.
  int CharWidth(std::string_view character) const override {
    unsigned char lead = static_cast<unsigned char>(character[0]);
    return lead >= 0xE3 && lead <= 0xE9 ? 2 : 1;
  }
  void Clear() override {
    cells_.assign(static_cast<size_t>(rows_),
                  std::vector<std::string>(static_cast<size_t>(cols_), " "));
    styles_.assign(static_cast<size_t>(rows_),
                   std::vector<unsigned>(static_cast<size_t>(cols_), 0));
  }
  void Put(int row, int col, std::string_view text, unsigned style) override {
    if (row < 0 || row >= rows_) return;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = NextCharEnd(text, pos);
      std::string_view character = text.substr(pos, end - pos);
      pos = end;
      int width = CharWidth(character);
      if (col < 0 || col + width > cols_) return;
      Set(row, col, std::string(character), style);
      if (width == 2) Set(row, col + 1, "", style);
      col += width;
    }
  }
  void Frame(int top, int left, int height, int width) override {
    int bottom = top + height - 1, right = left + width - 1;
    for (int col = left; col <= right; ++col) {
      Put(top, col, "-", 0);
      Put(bottom, col, "-", 0);
    }
    for (int row = top; row <= bottom; ++row) {
      Put(row, left, row == top || row == bottom ? "+" : "|", 0);
      Put(row, right, row == top || row == bottom ? "+" : "|", 0);
    }
  }
  void PlaceCursor(int row, int col) override {
    cursor_row_ = row;
    cursor_col_ = col;
  }
  void Update() override { shown_.push_back(Screen()); }
  platform::Key ReadKey() override {
    if (keys_.empty()) return platform::Key{platform::KeyKind::kClosed, ""};
    platform::Key key = keys_.front();
    keys_.pop_front();
    if (key.kind == platform::KeyKind::kResize && resize_rows_ > 0) {
      Resize(resize_rows_, resize_cols_);
    }
    return key;
  }
  // The size the terminal takes when the next kResize key is read.
  void ResizeOnKey(int rows, int cols) {
    resize_rows_ = rows;
    resize_cols_ = cols;
  }

 private:
  void Set(int row, int col, std::string cell, unsigned style) {
    cells_[static_cast<size_t>(row)][static_cast<size_t>(col)] = std::move(cell);
    styles_[static_cast<size_t>(row)][static_cast<size_t>(col)] = style;
  }

  int rows_ = 0, cols_ = 0;
  int resize_rows_ = 0, resize_cols_ = 0;
  int cursor_row_ = -1, cursor_col_ = -1;
  std::vector<std::vector<std::string>> cells_;
  std::vector<std::vector<unsigned>> styles_;
  std::deque<platform::Key> keys_;
  std::vector<std::string> shown_;
};
