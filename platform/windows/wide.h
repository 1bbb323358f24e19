// Between the tools' UTF-8 text and the wide (UTF-16) text of the Windows API.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-16 to UTF-8. A lone surrogate, which a Windows file name may hold, becomes the three
// bytes UTF-8 would give its code point, so that ToWide brings the name back unchanged.
std::string ToUtf8(std::wstring_view wide);

// UTF-8 to UTF-16, the inverse of ToUtf8. A byte that starts no valid sequence stands for the
// character of the same value (as in Latin-1), so no input is refused.
std::wstring ToWide(std::string_view utf8);

// The wide form of `path` that reaches files at any depth: an absolute path ("C:\src\a.rc",
// "\\server\share\a.rc") gets the "\\?\" prefix as it stands, without the normalisation that
// would drop trailing dots and blanks from its names; a relative one is made absolute first.
std::wstring LongPath(std::string_view path);

// `path` as a user writes it: "\\?\C:\src" becomes "C:\src", "\\?\UNC\server\share" becomes
// "\\server\share". A path that has no other form ("\\?\Volume{...}\") stays as it is.
std::wstring WithoutLongPrefix(std::wstring_view path);

// How many of the first `most` characters of `text` make a chunk that does not split a
// surrogate pair: one fewer when the last would be the first half of a pair.
size_t WholeCharacters(std::wstring_view text, size_t most);

}  // namespace platform
