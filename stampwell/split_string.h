// Cutting texts into tokens, and turning a typed version into the form resource scripts use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Characters that separate the parts of a typed version.
inline constexpr std::string_view kVersionDelimiters = ",./\\'\";:!@#$%^&*(){}[]\t ";
// The delimiters that only pad another one: "1, 2" has two parts, as "2 0 7" has three.
inline constexpr std::string_view kVersionBlanks = "\t ";
// Characters that separate lines.
inline constexpr std::string_view kLineDelimiters = "\r\n";

// Fills `list` with the tokens of `text` between runs of `delimiters`. One final line feed, and
// then one final carriage return, are removed first. Leading delimiters are skipped; an empty
// text, or one of delimiters only, gives one empty token; a text that ends in delimiters gives a
// final empty token.
std::vector<std::string>& SplitString(std::vector<std::string>& list, std::string_view text,
                                      std::string_view delimiters);

// The parts of a typed version, in order. Every delimiter other than a blank ends a part, so
// "1..3", ".5" and "1.2." hold an empty part; blanks end a part only where no other delimiter
// stands next to them. A part of digits is written in plain decimal ("010" as "10", "00" as
// "0"); any other part stays as typed.
std::vector<std::string> VersionParts(std::string_view text);

// Normalises a typed version ("5.12", "1,2,3,4", "2 0 7") to "a, b, c, d": its VersionParts,
// "0" for each missing part, parts after the fourth dropped, joined by ", ".
std::string FormatVersion(std::string_view text);

// Why a version resource cannot hold the typed version `text` as it was meant, or empty when it
// can: the text must stay on one line and hold at most four parts, none of them empty, each a
// decimal number from 0 to 65535 (the resource holds four 16-bit numbers). The first problem in
// reading order is told.
std::string VersionProblem(std::string_view text);
