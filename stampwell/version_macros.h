// With -macros, a version line that names a macro (FILEVERSION VER_FILE) keeps naming it, and
// the macro's #define is stamped instead: in the script itself or in a header it includes.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/reporter.h"
#include "stampwell/resource_script.h"

// The macro a version line names in place of a version.
struct NamedMacro {
  std::string name;  // empty for a line that names none
  bool product = false;
};

// For a FILEVERSION or PRODUCTVERSION statement, or a VALUE "FileVersion" or "ProductVersion"
// line, whose value is one identifier: that identifier. `code` is `line` with its comments and
// strings hidden (HideComments).
NamedMacro FindNamedMacro(std::u16string_view line, std::u16string_view code);

// A line of a VERSIONINFO naming a macro for a version the run gives.
struct MacroUse {
  size_t line;  // 1-based
  NamedMacro macro;
};
std::vector<MacroUse> FindMacroUses(std::string_view bytes, bool product, bool file);

// A "#define NAME value" line; the value is units [value_begin, value_end) of `text`.
struct MacroDefinition {
  std::string name;
  size_t line;
  std::u16string text;
  size_t value_begin, value_end;
  bool function_like;
};

// The definitions and includes of a file's text (bytes RewriteScript accepts). Every branch of
// #if counts: a macro defined in two of them is defined twice.
struct MacroFile {
  std::vector<MacroDefinition> definitions;
  std::vector<std::string> includes;  // #include "..." paths, as written
  std::vector<std::string> system;    // #include <...> paths, never followed
};
MacroFile ScanMacroFile(std::string_view bytes);

// Puts `version` (typed, as -vp takes it) into a definition's value in the value's own form: a
// number list keeps its separators, a string its prefix, quotes, trailing \0 and delimiter; a
// value of two or three parts grows to four in the style of its last separator. False, with
// why, for a value of any other form.
bool StampMacroValue(std::u16string_view value, std::string_view version, std::u16string* stamped,
                     std::string* reason);

// Scripts are stamped on several threads, but their macros are claimed in walk order, so that
// a header is stamped by, and announced under, the first script that reaches it, and a conflict
// is always found by the same script. Each queued script takes a turn on the walk's thread;
// BeginMacroRun resets the turns and the record of stamped definitions for a run below `root`.
void BeginMacroRun(const std::string& root);
size_t TakeMacroTurn();

// Holds the calling thread's turn while a script is worked on; ends it when gone, at the latest.
class CMacroTurn {
 public:
  explicit CMacroTurn(size_t turn);
  ~CMacroTurn();
  CMacroTurn(const CMacroTurn&) = delete;
  CMacroTurn& operator=(const CMacroTurn&) = delete;
};
// Waits until every earlier script's turn has ended (at once outside a turn).
void WaitForMacroTurn();

// The macros one script's version lines name. The constructor waits for the script's turn
// (when it names any), finds each definition, reports what it refuses and claims the rest.
class CVersionMacros {
 public:
  CVersionMacros(const std::string& script, std::string_view bytes,
                 const std::string& product_version, const std::string& file_version,
                 CReporter& reporter);
  ~CVersionMacros();

  // The script's own lines to take as given: every line naming a macro as it is, and each
  // definition in the script stamped.
  const LineEdits& ScriptEdits() const;
  // Stamps each header holding a claimed definition, announced with "Header File '<path>'
  // done" (in a dry run, listed under "Would stamp file '<path>'" and left alone); then ends the
  // script's turn.
  void StampHeaders(bool dry_run);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};
