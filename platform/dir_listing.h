// Listing one directory: names and kinds, read completely before the caller works through them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_ref.h"

namespace platform {

enum class EntryType : uint8_t {
  kDirectory,         // a real directory (never a link)
  kLinkToDirectory,   // a symbolic link whose target is a directory
  kOther,             // anything else: file, link to a file, dangling link, FIFO, socket...
};

// The entries of one directory, without "." and "..", in the order the system returned them.
// Names are kept in one buffer, so a directory of many entries costs few allocations.
class DirListing {
 public:
  void Clear();
  void Add(std::string_view name, EntryType type);
  size_t size() const { return entries_.size(); }
  std::string_view name(size_t i) const;
  EntryType type(size_t i) const { return entries_[i].type; }

 private:
  struct Entry {
    uint32_t offset;
    uint32_t length;
    EntryType type;
  };
  std::string names_;
  std::vector<Entry> entries_;
};

// Lists the directory at `path` (never through a symbolic link) and closes it again before
// returning. Entry types come from the listing itself; only entries of unknown type and links
// are looked up. On failure returns false and sets `*err`.
bool ListDirectory(const std::string& path, DirListing* listing, int* err);
// Lists the folder held open, the same way.
bool ListDirectory(const Folder& folder, DirListing* listing, int* err);

}  // namespace platform
