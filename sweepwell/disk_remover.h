// The real removers: to the desktop trash, or for good.
#pragma once

#include "platform/trash.h"
#include "sweepwell/sweepwell.h"

// Removes files from the disk, moving them to the trash unless `permanently`. Files already
// in a trash are protected either way: trashing them again would lose where they came from,
// and deleting them would lose what the user kept there.
class CDiskRemover : public CRemover {
 public:
  explicit CDiskRemover(bool permanently) : m_bPermanently(permanently) {}

  bool Protects(const std::string& path) override { return m_trash.Holds(path); }
  bool Remove(const std::string& path, platform::FileFailure* failure) override;

 private:
  bool m_bPermanently;
  platform::Trash m_trash;
};
