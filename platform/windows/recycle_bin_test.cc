#include "platform/windows/recycle_bin.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(RecycleBin, OnlyTheBinFolderAtTheTopOfItsVolumeHoldsRecycledFiles) {
  struct Case {
    std::wstring path;
    std::wstring root;
    bool held;
  };
  const Case cases[] = {
      {L"C:\\$Recycle.Bin\\S-1-5-21\\$R1.obj", L"C:\\", true},
      {L"C:\\$RECYCLE.BIN\\x.obj", L"C:\\", true},
      {L"\\\\?\\D:\\RECYCLER\\x.obj", L"\\\\?\\D:\\", true},
      {L"C:\\Mount\\Recycled\\x.obj", L"C:\\Mount\\", true},
      {L"C:\\src\\$Recycle.Bin\\x.obj", L"C:\\", false},
      {L"C:\\$Recycle.Binary\\x.obj", L"C:\\", false},
      {L"C:\\$Recycle.Bin", L"C:\\", true},
      {L"D:\\$Recycle.Bin\\x.obj", L"C:\\", false},
      {L"C:\\x.obj", L"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsInRecycleBin(c.path, c.root), c.held);
}

TEST(RecycleBin, TheShellGetsThePlainPathUpToMaxPath) {
  std::wstring deep = L"C:\\" + std::wstring(300, L'a') + L"\\x.obj";
  EXPECT_EQ(ShellPath(L"\\\\?\\C:\\src\\x.obj"), L"C:\\src\\x.obj");
  EXPECT_EQ(ShellPath(L"\\\\?\\UNC\\server\\share\\x.obj"), L"\\\\server\\share\\x.obj");
  EXPECT_EQ(ShellPath(L"\\\\?\\" + deep), L"\\\\?\\" + deep);
  EXPECT_EQ(ShellPath(deep), L"\\\\?\\" + deep);
}

TEST(RecycleBin, AFileLargerThanTheBinIsRefused) {
  RecycleVolume volume;
  volume.max_bytes = 1 << 20;
  EXPECT_EQ(volume.Refuses(1 << 20), "");
  EXPECT_EQ(volume.Refuses((1 << 20) + 1), "the file is larger than the Recycle Bin");
  volume.max_bytes = 0;
  EXPECT_EQ(volume.Refuses(1ULL << 40), "");
  volume.refusal = "a network drive has no Recycle Bin";
  EXPECT_EQ(volume.Refuses(1), "a network drive has no Recycle Bin");
}

}  // namespace
}  // namespace platform
