#include "sweepwell/disk_remover.h"

#include "platform/file_remove.h"

bool CDiskRemover::Remove(const std::string& path, platform::FileFailure* failure) {
  if (m_bPermanently) return platform::RemoveFile(path, failure);
  return m_trash.MoveToTrash(path, failure);
}
