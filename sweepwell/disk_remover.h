// The real removers: to the desktop trash, or for good.
#pragma once

#include <mutex>

#include "platform/trash.h"
#include "sweepwell/sweepwell.h"

// Removes files from the disk, moving them to the trash unless `permanently`. Files already
// in a trash are protected either way: trashing them again would lose where they came from,
// and deleting them would lose what the user kept there. Safe to call from several threads.
class CDiskRemover : public CRemover {
 public:
  explicit CDiskRemover(bool permanently) : m_bPermanently(permanently) {}

  bool Protects(const platform::FileRef& file) override;
  bool Remove(const platform::FileRef& file, platform::FileFailure* failure) override;

 private:
  bool m_bPermanently;
  std::mutex m_trashMutex;  // the trash keeps what it has looked up
  platform::Trash m_trash;
};
