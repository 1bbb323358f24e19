// Cutting texts into tokens, and turning a typed version into the form resource scripts use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Characters that separate the parts of a typed version.
inline constexpr std::string_view kVersionDelimiters = ",./\\'\";:!@#$%^&*(){}[]\t ";
// Characters that separate lines.
inline constexpr std::string_view kLineDelimiters = "\r\n";

// Fills `list` with the tokens of `text` between runs of `delimiters`. One final line feed, and
// then one final carriage return, are removed first. Leading delimiters are skipped; an empty
// text, or one of delimiters only, gives one empty token; a text that ends in delimiters gives a
// final empty token.
std::vector<std::string>& SplitString(std::vector<std::string>& list, std::string_view text,
                                      std::string_view delimiters);

// The four parts a typed version is written as: missing parts become "0", an empty first part
// becomes "0", parts after the fourth are dropped.
std::vector<std::string> VersionParts(std::string_view text);

// Normalises a typed version ("5.12", "1,2,3,4", "2 0 7") to "a, b, c, d", its VersionParts
// joined by ", ".
std::string FormatVersion(std::string_view text);

// Why a version resource cannot hold the typed version `text` as it was meant, or empty when it
// can: each of its four parts must be a decimal number from 0 to 65535 (the resource holds four
// 16-bit numbers), no part may be empty, no part typed after the fourth may be dropped, and the
// text must stay on one line.
std::string VersionProblem(std::string_view text);
