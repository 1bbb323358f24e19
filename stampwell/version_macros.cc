#include "stampwell/version_macros.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/path_separator.h"
#include "stampwell/script_encoding.h"
#include "stampwell/split_string.h"
#include "stampwell/utf16_units.h"
#include "stampwell/version_resources.h"

namespace {

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }
bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }
bool IsWordStart(char16_t unit) { return IsWordUnit(unit) && !IsDigit(unit); }

size_t SkipBlanks(std::u16string_view text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

size_t WordEnd(std::u16string_view text, size_t at) {
  while (at < text.size() && IsWordUnit(text[at])) ++at;
  return at;
}

bool IsCommentAt(std::u16string_view text, size_t at) {
  return text.substr(at, 2) == u"//" || text.substr(at, 2) == u"/*";
}

// The identifier from `at` on (blanks first), when nothing but a comment follows it.
std::string LoneIdentifier(std::u16string_view line, size_t at) {
  at = SkipBlanks(line, at);
  if (at == line.size() || !IsWordStart(line[at])) return {};
  const size_t end = WordEnd(line, at), rest = SkipBlanks(line, end);
  if (rest != line.size() && !IsCommentAt(line, rest)) return {};
  return Utf16ToUtf8(line.substr(at, end - at));
}

// Where a directive's value ends: before a comment outside its strings, and its blanks.
size_t ValueEnd(std::u16string_view line, size_t at) {
  bool in_string = false;
  size_t end = at;
  for (; end < line.size(); ++end) {
    if (in_string && line[end] == u'\\') {
      ++end;
    } else if (line[end] == u'"') {
      in_string = !in_string;
    } else if (!in_string && IsCommentAt(line, end)) {
      break;
    }
  }
  end = std::min(end, line.size());
  while (end > at && IsBlank(line[end - 1])) --end;
  return end;
}

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// 8-bit text as it was read, from units widened byte by byte.
std::string Narrow(std::u16string_view units) {
  std::string bytes;
  for (char16_t unit : units) bytes.push_back(static_cast<char>(unit));
  return bytes;
}

}  // namespace

NamedMacro FindNamedMacro(std::u16string_view line, std::u16string_view code) {
  NamedMacro named;
  for (bool product : {false, true}) {
    const std::u16string_view word = product ? u"PRODUCTVERSION" : u"FILEVERSION";
    const size_t at = FindWord(code, word);
    if (at == code.npos) continue;
    named.name = LoneIdentifier(line, at + word.size());
    named.product = product;
    return named;
  }
  size_t at = FindWord(code, u"VALUE");
  if (at == code.npos) return named;
  at = SkipBlanks(line, at + 5);
  for (bool product : {false, true}) {
    const std::u16string_view key = product ? u"\"ProductVersion\"" : u"\"FileVersion\"";
    if (line.substr(at, key.size()) != key) continue;
    const size_t comma = SkipBlanks(line, at + key.size());
    if (comma < line.size() && line[comma] == u',') named.name = LoneIdentifier(line, comma + 1);
    named.product = product;
  }
  return named;
}

std::vector<MacroUse> FindMacroUses(std::string_view bytes, bool product, bool file) {
  std::vector<MacroUse> uses;
  if (!product && !file) return uses;
  bool in_resource = false;
  ForEachCodeLine(bytes, [&](size_t number, std::u16string_view line, std::u16string_view code) {
    in_resource = in_resource || FindWord(code, u"VERSIONINFO") != code.npos;
    if (!in_resource) return;
    NamedMacro named = FindNamedMacro(line, code);
    if (!named.name.empty() && (named.product ? product : file))
      uses.push_back({number, std::move(named)});
  });
  return uses;
}

MacroFile ScanMacroFile(std::string_view bytes) {
  MacroFile scan;
  ForEachCodeLine(bytes, [&](size_t number, std::u16string_view line, std::u16string_view code) {
    size_t at = SkipBlanks(code, 0);
    if (at == code.size() || code[at] != u'#') return;
    at = SkipBlanks(code, at + 1);
    const size_t word_end = WordEnd(code, at);
    const std::u16string_view directive = std::u16string_view(code).substr(at, word_end - at);
    at = SkipBlanks(line, word_end);
    if (directive == u"define") {
      const size_t name_end = WordEnd(code, at);
      if (name_end == at || !IsWordStart(code[at])) return;
      const bool function_like = name_end < line.size() && line[name_end] == u'(';
      const size_t value = SkipBlanks(line, name_end);
      scan.definitions.push_back({Utf16ToUtf8(line.substr(at, name_end - at)), number,
                                  std::u16string(line), value, ValueEnd(line, value),
                                  function_like});
    } else if (directive == u"include" && at < line.size() &&
               (line[at] == u'"' || line[at] == u'<')) {
      const size_t close = line.find(line[at] == u'"' ? u'"' : u'>', at + 1);
      if (close == line.npos) return;
      std::string path = Utf16ToUtf8(line.substr(at + 1, close - at - 1));
      (line[at] == u'"' ? scan.includes : scan.system).push_back(std::move(path));
    }
  });
  return scan;
}

bool StampMacroValue(std::u16string_view value, std::string_view version, std::u16string* stamped,
                     std::string* reason) {
  std::u16string_view head, body = value, tail;
  const bool quoted =
      value.ends_with(u'"') && (value.starts_with(u"\"") || value.starts_with(u"L\""));
  if (quoted) {
    const size_t open = value.find(u'"') + 1;
    if (open >= value.size()) body = {};
    head = value.substr(0, open);
    body = value.substr(open, value.size() - 1 - open);
    tail = value.substr(value.size() - 1);
    if (body.ends_with(u"\\0")) {
      body.remove_suffix(2);
      tail = value.substr(value.size() - 3);
    }
  }
  // Parts of digits; a separator is blanks and a comma, or in a string blanks, commas or dots.
  std::vector<std::u16string_view> separators;
  size_t parts = 0, at = 0;
  bool fits = !body.empty();
  while (fits && at < body.size()) {
    size_t end = at;
    while (end < body.size() && IsDigit(body[end])) ++end;
    fits = end > at;
    ++parts;
    if (!fits || end == body.size()) break;
    at = end;
    while (end < body.size() &&
           (IsBlank(body[end]) || body[end] == u',' || (quoted && body[end] == u'.')))
      ++end;
    const std::u16string_view separator = body.substr(at, end - at);
    fits =
        end < body.size() && (quoted ? separator.find_first_not_of(u" \t") != separator.npos
                                     : std::count(separator.begin(), separator.end(), u',') == 1);
    separators.push_back(separator);
    at = end;
  }
  if (!fits || parts < 2 || parts > 4) {
    bool named = false;  // an identifier, not the x of 0x10
    for (size_t i = 0; i < value.size() && !quoted; ++i)
      named = named || (IsWordStart(value[i]) && (i == 0 || !IsWordUnit(value[i - 1])));
    *reason = named ? "is built from other macros"
                    : "is neither a list of two to four numbers nor a string of them";
    return false;
  }
  std::vector<std::string> numbers = VersionParts(version);
  numbers.resize(4, "0");
  stamped->assign(head);
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) stamped->append(separators[std::min(i, separators.size()) - 1]);
    stamped->append(Widen(numbers[i]));
  }
  stamped->append(tail);
  return true;
}

// Turns and the record of what the run stamped in headers.
namespace {

struct Claim {
  std::string version;  // normalised
  std::string typed;
  std::string script;
};

struct MacroRun {
  std::mutex mutex;
  std::condition_variable turn_ended;
  std::string root;
  size_t next_turn = 0;
  size_t first_open = 0;                                        // every turn before it has ended
  std::set<size_t> ended;                                       // ended turns after first_open
  std::map<std::pair<std::string, std::string>, Claim> claims;  // by header path and macro
};

MacroRun& Run() {
  static MacroRun run;
  return run;
}

constexpr size_t kNoTurn = static_cast<size_t>(-1);
thread_local size_t t_turn = kNoTurn;

void EndMacroTurn() {
  if (t_turn == kNoTurn) return;
  MacroRun& run = Run();
  {
    std::lock_guard lock(run.mutex);
    run.ended.insert(t_turn);
    while (run.ended.erase(run.first_open) > 0) ++run.first_open;
  }
  t_turn = kNoTurn;
  run.turn_ended.notify_all();
}

}  // namespace

void BeginMacroRun(const std::string& root) {
  MacroRun& run = Run();
  std::lock_guard lock(run.mutex);
  run.root = root;
  run.next_turn = run.first_open = 0;
  run.ended.clear();
  run.claims.clear();
}

size_t TakeMacroTurn() {
  std::lock_guard lock(Run().mutex);
  return Run().next_turn++;
}

CMacroTurn::CMacroTurn(size_t turn) { t_turn = turn; }
CMacroTurn::~CMacroTurn() { EndMacroTurn(); }

void WaitForMacroTurn() {
  if (t_turn == kNoTurn) return;
  MacroRun& run = Run();
  std::unique_lock lock(run.mutex);
  run.turn_ended.wait(lock, [&] { return run.first_open == t_turn; });
}

// Reaching the files a script includes, inside the tree only.
namespace {

using Components = std::vector<std::string>;

// The components of `path` taken from `base`; false when ".." leads above `base`'s root.
bool Resolve(Components base, std::string_view path, Components* out) {
  std::vector<std::string> parts;
  SplitString(parts, path, "/\\");
  for (const std::string& part : parts) {
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      base.push_back(part);
    } else if (base.empty()) {
      return false;
    } else {
      base.pop_back();
    }
  }
  *out = std::move(base);
  return true;
}

bool IsAbsolute(std::string_view path) {
  return path.starts_with('/') || path.starts_with('\\') || (path.size() > 1 && path[1] == ':');
}

struct Reached {
  std::string path;
  Components folder;  // below the root
  std::string bytes;
  platform::FileIdentity identity;
  platform::FolderPtr parent;
  MacroFile scan;
};

std::string Joined(const std::string& root, const Components& components) {
  std::string path = root;
  for (const std::string& part : components) {
    if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
    path += part;
  }
  return path;
}

}  // namespace

struct CVersionMacros::State {
  std::string script, product, file;
  CReporter& reporter;
  LineEdits script_edits;
  std::vector<Reached> files;                // the script first
  std::map<size_t, LineEdits> header_edits;  // by index in `files`
  std::vector<std::string> not_followed;
  Components root;
  platform::FolderPtr root_folder;

  State(const std::string& path, const std::string& product_version,
        const std::string& file_version, CReporter& out)
      : script(path), product(product_version), file(file_version), reporter(out) {}

  void Reach(const std::string& include, const Components& from);
  bool ReadInTree(const Components& components, const std::string& include, Reached* reached,
                  bool* missing);
  void NoteSystemIncludes(const MacroFile& scan) {
    for (const std::string& system : scan.system) not_followed.push_back("<" + system + ">");
  }
  void Stamp(const std::string& name, const std::vector<const MacroUse*>& uses);
};

// Follows a quoted include as the resource compiler looks it up: beside the including file,
// then beside the script; a file outside the tree, or reached through a link, is not followed.
void CVersionMacros::State::Reach(const std::string& include, const Components& from) {
  const Components script_folder = files[0].folder;  // copied: `files` grows below
  for (const Components* base : {&from, &script_folder}) {
    Components components;
    bool inside = false;
    if (IsAbsolute(include)) {
      Resolve({}, include, &components);
      inside = components.size() > root.size() &&
               std::equal(root.begin(), root.end(), components.begin());
      if (inside) components.erase(components.begin(), components.begin() + root.size());
    } else {
      inside = Resolve(*base, include, &components);
    }
    if (!inside) {
      not_followed.push_back("\"" + include + "\" (outside the tree)");
      return;
    }
    const std::string path = Joined(Run().root, components);
    for (const Reached& reached : files) {
      if (reached.path == path) return;  // an include cycle, or a header met before
    }
    Reached reached;
    bool missing = false;
    if (!ReadInTree(components, include, &reached, &missing)) {
      if (missing) continue;
      return;
    }
    files.push_back(std::move(reached));
    const Reached& header = files.back();
    const std::vector<std::string> includes = header.scan.includes;
    const Components folder = header.folder;
    for (const std::string& next : includes) Reach(next, folder);
    return;
  }
  not_followed.push_back("\"" + include + "\" (not found)");
}

bool CVersionMacros::State::ReadInTree(const Components& components, const std::string& include,
                                       Reached* reached, bool* missing) {
  int err = 0;
  if (root_folder == nullptr) root_folder = platform::Folder::Open(Run().root, &err);
  platform::FolderPtr folder = root_folder;
  for (size_t i = 0; folder != nullptr && i + 1 < components.size(); ++i)
    folder = folder->OpenChild(components[i], &err);
  reached->path = Joined(Run().root, components);
  platform::FileFailure failure;
  if (folder == nullptr) {
    *missing = err == ENOENT;
    if (!*missing) {
      not_followed.push_back("\"" + include + "\" (" +
                             (err == ELOOP || err == ENOTDIR
                                  ? std::string("a symbolic link or a file on the way")
                                  : platform::ErrorText(err)) +
                             ")");
    }
    return false;
  }
  const platform::FileRef ref(folder, reached->path);
  if (!platform::ReadRegularFile(ref, &reached->bytes, &reached->identity, &failure)) {
    *missing = failure.reason == platform::ErrorText(ENOENT);
    if (!*missing) not_followed.push_back("\"" + include + "\" (" + failure.reason + ")");
    return false;
  }
  ScriptEncoding encoding;
  std::string reason;
  if (!DetectScriptEncoding(reached->bytes, &encoding, &reason)) {
    reporter.Fail("left alone", reached->path, reason);
    return false;
  }
  reached->folder.assign(components.begin(), components.end() - 1);
  reached->parent = folder;
  reached->scan = ScanMacroFile(reached->bytes);
  NoteSystemIncludes(reached->scan);
  return true;
}

void CVersionMacros::State::Stamp(const std::string& name,
                                  const std::vector<const MacroUse*>& uses) {
  const std::string& version = uses[0]->macro.product ? product : file;
  for (const MacroUse* use : uses) {
    const std::string& other = use->macro.product ? product : file;
    if (FormatVersion(other) == FormatVersion(version)) continue;
    reporter.Fail("version macro refused", script,
                  "line " + std::to_string(use->line) + ", " + name +
                      " names both the product version '" + product + "' and the file version '" +
                      file + "'; its definition is left as it is");
    return;
  }
  std::vector<std::pair<size_t, const MacroDefinition*>> found;
  for (size_t i = 0; i < files.size(); ++i) {
    for (const MacroDefinition& definition : files[i].scan.definitions) {
      if (definition.name == name) found.emplace_back(i, &definition);
    }
  }
  const std::string where = "line " + std::to_string(uses[0]->line) + ", ";
  if (found.empty()) {
    std::string reason = where + name + " is defined in no file of the tree the script includes";
    for (size_t i = 0; i < not_followed.size(); ++i)
      reason += (i == 0 ? "; not followed: " : ", ") + not_followed[i];
    reporter.Warn("version macro not found", script, reason);
    return;
  }
  const auto [index, definition] = found[0];
  const std::string& path = files[index].path;
  std::string reason = "line " + std::to_string(definition->line) + ", " + name + " ";
  if (found.size() > 1) {
    reason += "is defined more than once, again on";
    for (size_t i = 1; i < found.size(); ++i) {
      reason += (i == 1 ? " line " : ", line ") + std::to_string(found[i].second->line);
      if (found[i].first != index) reason += " of '" + files[found[i].first].path + "'";
    }
    reporter.Fail("version macro refused", path, reason + "; no definition is stamped");
    return;
  }
  std::u16string value;
  std::string why;
  const std::u16string_view text = definition->text;
  if (definition->function_like ||
      !StampMacroValue(
          text.substr(definition->value_begin, definition->value_end - definition->value_begin),
          version, &value, &why)) {
    if (definition->function_like) why = "takes arguments";
    reporter.Fail("version macro refused", path,
                  reason + why + "; its definition is left as it is");
    return;
  }
  std::u16string line(text.substr(0, definition->value_begin));
  line.append(value).append(text.substr(definition->value_end));
  if (index == 0) {
    script_edits[definition->line] = std::move(line);
    return;
  }
  // A header is stamped for a macro once in a run, for the first script naming it.
  MacroRun& run = Run();
  std::lock_guard lock(run.mutex);
  auto [claim, first] =
      run.claims.try_emplace({path, name}, Claim{FormatVersion(version), version, script});
  if (first) {
    LineEdits& edits = header_edits[index];  // announced even when it holds the version already
    if (line != text) edits[definition->line] = std::move(line);
  } else if (claim->second.version != FormatVersion(version)) {
    reporter.Fail("version macro refused", path,
                  reason + "is stamped " + claim->second.typed + " for '" + claim->second.script +
                      "', but '" + script + "' names it for " + version + "; it keeps " +
                      claim->second.typed);
  }
}

CVersionMacros::CVersionMacros(const std::string& script, std::string_view bytes,
                               const std::string& product_version, const std::string& file_version,
                               CReporter& reporter)
    : m_state(std::make_unique<State>(script, product_version, file_version, reporter)) {
  State& state = *m_state;
  const std::vector<MacroUse> uses =
      FindMacroUses(bytes, !product_version.empty(), !file_version.empty());
  if (uses.empty()) {
    EndMacroTurn();
    return;
  }
  // Each line naming a macro keeps naming it, whatever the line rules would make of it.
  size_t number = 0, next = 0;
  ForEachScriptLine(bytes, [&](std::u16string_view line) {
    if (next < uses.size() && uses[next].line == ++number) {
      state.script_edits[number] = line;
      ++next;
    }
  });
  WaitForMacroTurn();
  Components script_path;
  Resolve({}, script.substr(std::min(Run().root.size(), script.size())), &script_path);
  Resolve({}, Run().root, &state.root);
  Reached self;
  self.path = script;
  self.folder.assign(script_path.begin(), script_path.end() - (script_path.empty() ? 0 : 1));
  self.scan = ScanMacroFile(bytes);
  state.NoteSystemIncludes(self.scan);
  state.files.push_back(std::move(self));
  const std::vector<std::string> includes = state.files[0].scan.includes;
  for (const std::string& include : includes) state.Reach(include, state.files[0].folder);
  std::map<std::string, std::vector<const MacroUse*>> by_name;
  for (const MacroUse& use : uses) by_name[use.macro.name].push_back(&use);
  for (const auto& [name, named] : by_name) state.Stamp(name, named);
}

CVersionMacros::~CVersionMacros() = default;

const LineEdits& CVersionMacros::ScriptEdits() const { return m_state->script_edits; }

void CVersionMacros::StampHeaders(bool dry_run) {
  State& state = *m_state;
  for (const auto& [index, edits] : state.header_edits) {
    const Reached& header = state.files[index];
    const platform::FileRef ref(header.parent, header.path);
    platform::FileFailure failure;
    if (dry_run) {
      state.reporter.Print("Would stamp file '" + header.path + "'\n");
      if (!platform::PredictReplaceable(ref, &failure)) {
        state.reporter.Fail(failure.what, header.path, failure.reason);
        continue;
      }
      ScriptEncoding encoding;
      std::string ignored;
      DetectScriptEncoding(header.bytes, &encoding, &ignored);
      auto shown = [&](std::u16string_view units) {
        return IsUtf16(encoding) ? Utf16ToUtf8(units) : Narrow(units);
      };
      size_t number = 0;
      const auto& line_edits = edits;  // a lambda may not name a structured binding (C++20)
      ForEachScriptLine(header.bytes, [&](std::u16string_view line) {
        auto edit = line_edits.find(++number);
        if (edit != line_edits.end())
          state.reporter.Print("  - " + shown(line) + "\n  + " + shown(edit->second) + "\n");
      });
      continue;
    }
    state.reporter.Print("Header File '" + header.path + "' done\n");
    const std::string stamped = SpliceScriptLines(header.bytes, edits);
    if (stamped != header.bytes &&
        (!platform::CheckWritable(ref, &failure) ||
         !platform::ReplaceFile(ref, stamped, header.identity, &failure)))
      state.reporter.Fail(failure.what, header.path, failure.reason);
  }
  EndMacroTurn();
}
