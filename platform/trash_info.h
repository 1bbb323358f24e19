// The bytes of the trash's bookkeeping: info entries and the names trashed files get.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The longest name a trashed file may get: its info entry, "<name>.trashinfo", must still fit
// the file system's limit of 255 bytes for one name.
constexpr size_t kMaxTrashName = 255 - 10;

// Percent-encodes every byte of `path` except ASCII letters and digits, "-", "_", ".", "~" and
// the separator "/"; other bytes become "%XX" with upper-case hex digits.
std::string PercentEncodePath(std::string_view path);

// The whole info entry: the group header, "Path=" with `path` percent-encoded, and
// "DeletionDate=" with `date` ("YYYY-MM-DDThh:mm:ss"), each line ending in a line feed.
std::string TrashInfoText(std::string_view path, std::string_view date);

// The name a file called `leaf` gets in the trash when its own name is taken: a part unique to
// the run, ".<tag>-<counter>", goes between the name and its extension ("main.obj" becomes
// "main.<tag>-<counter>.obj"), and the name is shortened to fit kMaxTrashName.
std::string UniqueTrashName(std::string_view leaf, std::string_view tag, uint64_t counter);

}  // namespace platform
