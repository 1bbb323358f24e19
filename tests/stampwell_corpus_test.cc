// Stampwell on scripts in every encoding, real ones from public projects first: each keeps its
// encoding and mark, and only its version lines change.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A script decoded to code units (bytes for 8-bit text, 16-bit units for UTF-16).
struct Decoded {
  std::string encoding;
  std::u16string units;
};

Decoded Decode(const std::string& bytes) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  Decoded decoded;
  size_t start = 0, step = 1;
  bool big_endian = false;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    decoded.encoding = "UTF-8 with BOM", start = 3;
  } else if (bytes.starts_with("\xFF\xFE")) {
    decoded.encoding = "UTF-16LE with BOM", start = 2, step = 2;
  } else if (bytes.starts_with("\xFE\xFF")) {
    decoded.encoding = "UTF-16BE with BOM", start = 2, step = 2, big_endian = true;
  } else if (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0')) {
    big_endian = bytes[0] == '\0';
    decoded.encoding = big_endian ? "UTF-16BE" : "UTF-16LE", step = 2;
  } else {
    decoded.encoding = "8-bit";
  }
  for (size_t i = start; i + step <= bytes.size(); i += step) {
    unsigned unit = byte(i);
    if (step == 2) unit = big_endian ? unit << 8 | byte(i + 1) : unit | byte(i + 1) << 8;
    decoded.units.push_back(static_cast<char16_t>(unit));
  }
  return decoded;
}

// Lines without their breaks: LF ends a line, and a CR just before it belongs to the break.
std::vector<std::u16string> Lines(const std::u16string& units) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (char16_t unit : units) {
    if (unit != u'\n') {
      line += unit;
      continue;
    }
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(line);
    line.clear();
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The line a version line must have become; any other line stays as it was.
std::u16string Stamped(std::u16string line) {
  const std::pair<std::string_view, std::string_view> rules[] = {
      {" PRODUCTVERSION ", " PRODUCTVERSION 2, 1, 0, 0"},
      {"VALUE \"ProductVersion\",", "            VALUE \"ProductVersion\", \"2, 1, 0, 0\\0\""},
      {" FILEVERSION ", " FILEVERSION 2, 1, 7, 0"},
      {"VALUE \"FileVersion\",", "            VALUE \"FileVersion\", \"2, 1, 7, 0\\0\""},
  };
  for (const auto& [text, replacement] : rules) {
    if (line.find(Widen(text)) != std::u16string::npos) line = Widen(replacement);
  }
  return line;
}

// Copies every resource script of the corpus into `dir`, each under a name ending in ".rc";
// returns the names given.
std::vector<std::string> CopyCorpus(const ScratchDir& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(CORPUS_DIR)) {
    std::string name = entry.path().filename().string();
    const std::string extension = Lower(entry.path().extension().string());
    if (!entry.is_regular_file() || !extension.starts_with(".rc")) continue;
    if (extension != ".rc") name += ".rc";
    dir.Write(name, testsupport::ReadFileOrDie(entry.path().string()));
    names.push_back(name);
  }
  return names;
}

// Checks one stamped script against its original; returns the number of lines changed.
int CheckStamped(const std::string& name, const std::string& before, const std::string& after) {
  const Decoded old_text = Decode(before), new_text = Decode(after);
  EXPECT_EQ(new_text.encoding, old_text.encoding) << name << ": encoding and mark stay";
  const std::vector<std::u16string> old_lines = Lines(old_text.units);
  const std::vector<std::u16string> new_lines = Lines(new_text.units);
  std::u16string rejoined;
  for (const std::u16string& line : new_lines) rejoined += line + u"\r\n";
  EXPECT_EQ(rejoined, new_text.units) << name << ": CR LF after every line, nothing else";
  EXPECT_EQ(new_lines.size(), old_lines.size()) << name;
  int changed = 0;
  for (size_t i = 0; i < std::min(old_lines.size(), new_lines.size()); ++i) {
    EXPECT_EQ(new_lines[i], Stamped(old_lines[i])) << name << ": line " << i + 1;
    changed += new_lines[i] != old_lines[i];
  }
  return changed;
}

TEST(StampwellCorpus, EveryEncodingKeptAndOnlyVersionLinesChanged) {
  if (!fs::is_directory(CORPUS_DIR)) GTEST_SKIP() << "no corpus of resource scripts at " CORPUS_DIR;
  ScratchDir dir;
  const std::vector<std::string> names = CopyCorpus(dir);
  ASSERT_FALSE(names.empty());
  std::map<std::string, std::string> originals = testsupport::Snapshot(dir.path());
  const std::string expected_output = testsupport::ExpectedWalk(
      dir.path(), [](const std::string& path) { return "Resource File '" + path + "' done\n"; });

  testsupport::RunOptions options;
  options.cwd = dir.path();
  const testsupport::RunResult result =
      testsupport::Run(STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
  EXPECT_EQ(result.out, expected_output);
  EXPECT_EQ(result.exit_code, 0);
  // Only warnings, one per script whose resource keeps a statement the line rules miss (at the
  // start of a line, after or before a tab): the scripts that real trees stamp in part.
  std::set<std::string> warned;
  std::istringstream err(result.err);
  for (std::string line; std::getline(err, line);) {
    EXPECT_EQ(line.rfind("Stampwell: version resource ", 0), 0u) << line;
    size_t start = line.find(" '" + dir.path()) + dir.path().size() + 3;
    warned.insert(line.substr(start, line.find("': ", start) - start));
  }
  const std::set<std::string> half_stamped = {
      "FarGroup__FarManager__far_far.rc",
      "OpenMPT__openmpt__include_lame_libmp3lame_lame.rc",
      "clsid2__mpc-hc__src_thirdparty_unrar_dll.rc",
      "madler__zlib__contrib_vstudio_vc10_zlib.rc",
      "madler__zlib__win32_zlib1.rc",
      "microsoft__CLRInstrumentationEngine__build_bldver.rc",
      "qbittorrent__qBittorrent__src_qbittorrent.rc",
      "tueda__putty__windows_version.rc2.rc",
      "notepad-plus-plus__notepad-plus-plus__scintilla_win32_ScintRes.rc"};  // none stamped
  EXPECT_EQ(warned, half_stamped) << result.err;

  std::set<std::string> encodings;
  int changed = 0;
  for (const std::string& name : names) {
    encodings.insert(Decode(originals[name]).encoding);
    changed += CheckStamped(name, originals[name], dir.Read(name));
  }
  EXPECT_TRUE(encodings.count("UTF-16LE with BOM") && encodings.count("UTF-8 with BOM") &&
              encodings.count("8-bit"))
      << "the corpus holds each kind of script";
  EXPECT_GT(changed, 0);
}

// Stores ASCII text as UTF-16 in either byte order.
std::string Utf16(std::string_view ascii, bool big_endian) {
  std::string bytes;
  for (char c : ascii) bytes += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

TEST(StampwellEncodings, Utf16ScriptsAreStampedAndAnOddByteIsReported) {
  const std::string script = "1 VERSIONINFO\n FILEVERSION 1,0,0,1\r\n PRODUCTVERSION 1\r";
  const std::string stamped =
      "1 VERSIONINFO\r\n FILEVERSION 2, 1, 7, 0\r\n PRODUCTVERSION 2, 1, 0, 0\r\n";
  ScratchDir dir;
  dir.Write("marked.rc", "\xFF\xFE" + Utf16(script, false));
  dir.Write("big.rc", Utf16(script, true));
  const std::string odd = "\xFE\xFF" + Utf16(script, true) + "\n";
  dir.Write("odd.rc", odd);

  testsupport::RunOptions options;
  options.cwd = dir.path();
  const testsupport::RunResult result =
      testsupport::Run(STAMPWELL_BIN, {"-s", "-vp", "2.1", "-vf", "2.1.7"}, options);
  EXPECT_EQ(result.err, "Stampwell: left alone '" + dir.Path("odd.rc") +
                            "': UTF-16 text with an odd trailing byte; left untouched\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(dir.Read("marked.rc"), "\xFF\xFE" + Utf16(stamped, false));
  EXPECT_EQ(dir.Read("big.rc"), Utf16(stamped, true));
  EXPECT_EQ(dir.Read("odd.rc"), odd);
}

}  // namespace
