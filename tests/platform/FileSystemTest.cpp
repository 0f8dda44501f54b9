#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "backend/sim/SimFileSystem.h"
#include "platform/SysError.h"
#include "rtl/Paths.h"
#include "rtl/Utf.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"
#ifdef _WIN32
#include <windows.h>
// clang-format off
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include "backend/win32/Win32Text.h"
#endif

namespace {

using namespace platform;
namespace fs = std::filesystem;

class FileSystemTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override { FTest = test::MakeTestPlatform(GetParam()); }
  IFileSystem& Files() { return FTest->Platform().Files; }
  const std::string& Folder() { return FTest->Folder(); }
  std::unique_ptr<test::TTestPlatform> FTest;
};

TEST_P(FileSystemTest, FoldersAreCreatedOneLevelAtATime) {
  const std::string Child = Folder() + "M\xC3\xA4use";
  EXPECT_TRUE(Files().DirectoryExists(Folder()));
  EXPECT_FALSE(Files().DirectoryExists(Child));
  EXPECT_EQ(Files().MakeDirectory(Child), SysError::Success);
  EXPECT_TRUE(Files().DirectoryExists(Child));
  EXPECT_FALSE(Files().FileExists(Child));
  EXPECT_EQ(Files().MakeDirectory(Child), SysError::AlreadyExists);
  EXPECT_EQ(Files().MakeDirectory(Folder() + "a" + rtl::PathDelim + "b"), SysError::PathNotFound);
  EXPECT_FALSE(Files().DirectoryExists(""));
}

TEST_P(FileSystemTest, ReplacingWritesExactBytesAndReadingIsBounded) {
  const std::string Path = Folder() + "\xE4\xB8\xAD.pfd";
  const auto Bytes = test::PatternBytes(1000);
  ASSERT_EQ(Files().ReplaceFileContent(Path, Bytes.data(), Bytes.size()), SysError::Success);
  EXPECT_TRUE(Files().FileExists(Path));
  std::vector<uint8_t> Read{1};
  ASSERT_EQ(Files().ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Bytes);
  EXPECT_EQ(Files().ReadWholeFile(Path, Read, 999), SysError::FileTooLarge);
  EXPECT_TRUE(Read.empty());

  ASSERT_EQ(Files().ReplaceFileContent(Path, "", 0), SysError::Success);
  ASSERT_EQ(Files().ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_TRUE(Read.empty());

  EXPECT_EQ(Files().RemoveFile(Path), SysError::Success);
  EXPECT_FALSE(Files().FileExists(Path));
  EXPECT_EQ(Files().ReadWholeFile(Path, Read, 1000), SysError::FileNotFound);
}

TEST_P(FileSystemTest, FailuresCarryCodesAndTexts) {
  EXPECT_NE(Files().ReplaceFileContent(Folder() + "no" + rtl::PathDelim + "f.pfd", "x", 1),
            SysError::Success);
  EXPECT_NE(Files().ReplaceFileContent(rtl::ExcludeTrailingPathDelimiter(Folder()), "x", 1),
            SysError::Success);
  EXPECT_FALSE(Files().ErrorText(SysError::FileNotFound).empty());
  EXPECT_NE(Files().ErrorText(SysError::FileNotFound), Files().ErrorText(SysError::AccessDenied));
}

// The files in the test's folder, so a test can see that no new file was left behind.
std::vector<std::string> FolderFiles(const std::string& AFolder) {
  std::vector<std::string> Names;
  for (const auto& Entry : std::filesystem::directory_iterator(sim::Utf8Path(AFolder))) {
    const std::u8string Name = Entry.path().filename().u8string();
    Names.emplace_back(Name.begin(), Name.end());
  }
  return Names;
}

TEST_P(FileSystemTest, ATargetAtThePathLimitIsReplaced) {
  const std::size_t FolderUnits = rtl::Utf8ToUtf16(Folder()).size();
  ASSERT_LT(FolderUnits, cMaxPathUnits - 20);
  const std::string Name(cMaxPathUnits - FolderUnits, 'n');
  const std::string Path = Folder() + Name;
  for (const int Start : {0, 100}) {
    const auto Bytes = test::PatternBytes(64, static_cast<uint8_t>(Start));
    ASSERT_EQ(Files().ReplaceFileContent(Path, Bytes.data(), Bytes.size()), SysError::Success);
    std::vector<uint8_t> Read;
    ASSERT_EQ(Files().ReadWholeFile(Path, Read, 64), SysError::Success);
    EXPECT_EQ(Read, Bytes);
  }
  EXPECT_EQ(FolderFiles(Folder()), std::vector<std::string>{Name});
}

TEST_P(FileSystemTest, AFileHeldOpenWithoutDeleteSharingIsNeitherReplacedNorRemoved) {
  const std::string Path = Folder() + "held.pfd";
  const auto Old = test::PatternBytes(100);
  const auto New = test::PatternBytes(200, 1);
  ASSERT_EQ(Files().ReplaceFileContent(Path, Old.data(), Old.size()), SysError::Success);
  auto Hold = FTest->HoldWithoutDeleteSharing(Path);
  ASSERT_TRUE(Hold);
  // The platform refuses to rename over a file that is open.
  EXPECT_EQ(Files().ReplaceFileContent(Path, New.data(), New.size()), SysError::AccessDenied);
  EXPECT_EQ(Files().RemoveFile(Path), SysError::SharingViolation);
  std::vector<uint8_t> Read;
  ASSERT_EQ(Files().ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Old);
  EXPECT_EQ(FolderFiles(Folder()), std::vector<std::string>{"held.pfd"});
  Hold.reset();
  ASSERT_EQ(Files().ReplaceFileContent(Path, New.data(), New.size()), SysError::Success);
  ASSERT_EQ(Files().ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, New);
}

TEST_P(FileSystemTest, ACopyReplacesItsTarget) {
  const std::string Source = Folder() + "M\xC3\xA4use.sys";
  const std::string Target = Folder() + "target.sys";
  const auto Bytes = test::PatternBytes(300);
  const auto Old = test::PatternBytes(20, 5);
  ASSERT_EQ(Files().ReplaceFileContent(Source, Bytes.data(), Bytes.size()), SysError::Success);
  ASSERT_EQ(Files().ReplaceFileContent(Target, Old.data(), Old.size()), SysError::Success);
  std::vector<uint8_t> Read;
  EXPECT_EQ(Files().DuplicateFile(Source, Target), SysError::Success);
  ASSERT_EQ(Files().ReadWholeFile(Target, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Bytes);
  EXPECT_EQ(Files().DuplicateFile(Folder() + "missing.sys", Target), SysError::FileNotFound);
  EXPECT_EQ(Files().DuplicateFile(Source, Folder() + "no" + rtl::PathDelim + "t.sys"),
            SysError::PathNotFound);
  // A target held open (a loaded driver's image) is refused. A failed copy leaves the target
  // as it was.
  const std::string Other = Folder() + "other.sys";
  ASSERT_EQ(Files().ReplaceFileContent(Other, Old.data(), Old.size()), SysError::Success);
  {
    auto Hold = FTest->HoldWithoutDeleteSharing(Target);
    ASSERT_TRUE(Hold);
    EXPECT_EQ(Files().DuplicateFile(Other, Target), SysError::AccessDenied);
  }
  ASSERT_EQ(Files().ReadWholeFile(Target, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Bytes);
  // Nothing is left beside the target.
  auto Names = FolderFiles(Folder());
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"M\xC3\xA4use.sys", "other.sys", "target.sys"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, FileSystemTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

#ifdef _WIN32
// What other programs on a real desktop do to the files: the configuration program renames
// over them while this process reads, a scanner holds one a moment, a crash leaves a
// temporary name behind.

// A file's access list in the security descriptor language, or empty.
std::wstring AccessList(const std::wstring& APath) {
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  if (GetNamedSecurityInfoW(APath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &Descriptor) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t* Text = nullptr;
  std::wstring List;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          Descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &Text, nullptr)) {
    List = Text;
    LocalFree(Text);
  }
  LocalFree(Descriptor);
  return List;
}

bool SetAccessList(const std::wstring& APath, const wchar_t* AList) {
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(AList, SDDL_REVISION_1, &Descriptor,
                                                            nullptr)) {
    return false;
  }
  BOOL Present = FALSE;
  BOOL Defaulted = FALSE;
  PACL List = nullptr;
  const bool Set =
      GetSecurityDescriptorDacl(Descriptor, &Present, &List, &Defaulted) &&
      SetNamedSecurityInfoW(const_cast<wchar_t*>(APath.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, List, nullptr) == ERROR_SUCCESS;
  LocalFree(Descriptor);
  return Set;
}

TEST(Win32Files, ReadsLetOthersRenameAndSavesWaitOutBriefHoldsAndLeftovers) {
  auto Backend = test::MakeTestPlatform("Win32");
  IFileSystem& Files = Backend->Platform().Files;
  const std::string Path = Backend->Folder() + "store.pfd";
  const auto Old = test::PatternBytes(64);
  const auto New = test::PatternBytes(80, 3);
  ASSERT_EQ(Files.ReplaceFileContent(Path, Old.data(), Old.size()), SysError::Success);
  const std::wstring Wide = win32::ToWide(Path);

  // Another program has the file open to rename or delete it: reading still works.
  HANDLE Renaming = CreateFileW(Wide.c_str(), DELETE | GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(Renaming, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> Read;
  EXPECT_EQ(Files.ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Old);
  CloseHandle(Renaming);

  // Held without delete sharing for a moment: the save waits it out.
  HANDLE Held = CreateFileW(Wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(Held, INVALID_HANDLE_VALUE);
  std::thread Scanner([Held] {
    Sleep(150);
    CloseHandle(Held);
  });
  EXPECT_EQ(Files.ReplaceFileContent(Path, New.data(), New.size()), SysError::Success);
  Scanner.join();
  ASSERT_EQ(Files.ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, New);

  // Temporary names a crash of a process with this one's number left behind are passed over
  // and left alone.
  std::vector<std::string> Leftovers;
  for (int Index = 0; Index < 50; ++Index) {
    Leftovers.push_back(Path + ".~" + std::to_string(GetCurrentProcessId()) + "." +
                        std::to_string(Index));
    const uint8_t Byte = 1;
    std::ofstream(fs::path(win32::ToWide(Leftovers.back())), std::ios::binary)
        .write(reinterpret_cast<const char*>(&Byte), 1);
  }
  EXPECT_EQ(Files.ReplaceFileContent(Path, Old.data(), Old.size()), SysError::Success);
  ASSERT_EQ(Files.ReadWholeFile(Path, Read, 1000), SysError::Success);
  EXPECT_EQ(Read, Old);
  for (const std::string& Leftover : Leftovers) {
    EXPECT_TRUE(Files.FileExists(Leftover)) << Leftover;
    Files.RemoveFile(Leftover);
  }

  // The saved file keeps the old one's attributes, and has them from its creation: another
  // process that looks at the new file while its bytes are written sees them already. It keeps
  // the old one's access list too: one of its own, not the folder's (Wine keeps no access list
  // set on a file: Windows only).
  const bool AccessLists = !test::UnderWine();
  std::wstring OwnList;
  if (AccessLists) {
    ASSERT_TRUE(SetAccessList(Wide, L"D:P(A;;FA;;;WD)(A;;FR;;;AN)"));
    OwnList = AccessList(Wide);
    ASSERT_NE(OwnList, L"");
  }
  ASSERT_TRUE(SetFileAttributesW(Wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  std::atomic<bool> Saved{false};
  std::vector<DWORD> SeenWithData;
  std::thread Watcher([&] {
    const std::wstring Pattern = Wide + L".~*";
    while (!Saved) {
      WIN32_FIND_DATAW Found{};
      const HANDLE Search = FindFirstFileW(Pattern.c_str(), &Found);
      if (Search != INVALID_HANDLE_VALUE) {
        if (Found.nFileSizeLow != 0 || Found.nFileSizeHigh != 0) {
          SeenWithData.push_back(Found.dwFileAttributes);
        }
        FindClose(Search);
      }
    }
  });
  const auto Large = test::PatternBytes(32 << 20, 9);
  EXPECT_EQ(Files.ReplaceFileContent(Path, Large.data(), Large.size()), SysError::Success);
  Saved = true;
  Watcher.join();
  EXPECT_EQ(GetFileAttributesW(Wide.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_FALSE(SeenWithData.empty());
  EXPECT_TRUE(
      std::all_of(SeenWithData.begin(), SeenWithData.end(),
                  [](DWORD AAttributes) { return (AAttributes & FILE_ATTRIBUTE_HIDDEN) != 0; }))
      << SeenWithData.size() << " looks";
  if (AccessLists) {
    EXPECT_EQ(AccessList(Wide), OwnList);
    // The positive control: a file written anew in the folder has the folder's list.
    const std::wstring Fresh = Wide + L".fresh";
    std::ofstream(fs::path(Fresh), std::ios::binary) << 'x';
    EXPECT_NE(AccessList(Fresh), OwnList);
  }
  ASSERT_TRUE(SetFileAttributesW(Wide.c_str(), FILE_ATTRIBUTE_NORMAL));
}
#endif

class EnvironmentTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EnvironmentTest, FoldersExistAndTheClockRuns) {
  auto Backend = test::MakeTestPlatform(GetParam());
  TPlatform Platform = Backend->Platform();
  const std::string Module = Platform.Environment.ModuleFolder();
  ASSERT_FALSE(Module.empty());
  EXPECT_TRUE(rtl::IsPathDelimiter(Module.back()));
  EXPECT_TRUE(Platform.Files.DirectoryExists(Module));
  const std::string Documents = Platform.Environment.DocumentsFolder();
  ASSERT_FALSE(Documents.empty());
  EXPECT_FALSE(rtl::IsPathDelimiter(Documents.back()));
  EXPECT_TRUE(Platform.Files.DirectoryExists(Documents));
  EXPECT_GE(Platform.Environment.OsVersion().Major, 5u);
  EXPECT_EQ(Platform.Environment.AnsiToUtf8("plain"), "plain");

  const uint64_t Before = Platform.Clock.TickCount();
  Platform.Clock.SleepMs(20);
  // The platform's tick is coarse and a loaded machine is slow: only the direction is sure.
  EXPECT_GE(Platform.Clock.TickCount(), Before);
  // Some day after 2020-01-01 and before 2100-01-01.
  EXPECT_GT(Platform.Clock.Now(), 43831.0);
  EXPECT_LT(Platform.Clock.Now(), 73051.0);
  Platform.Debug.DebugOutput("monitor test line");
}

INSTANTIATE_TEST_SUITE_P(Backends, EnvironmentTest, ::testing::ValuesIn(test::TestBackendNames()),
                         [](const auto& AInfo) { return AInfo.param; });

TEST(SimFileSystem, PathsOverThePlatformLimitAreNotFound) {
  sim::TSimWorld World;
  const std::string Folder = World.Environment.RootFolder() + rtl::PathDelim;
  const std::string Path =
      Folder + std::string(cMaxPathUnits + 1 - rtl::Utf8ToUtf16(Folder).size(), 'n');
  EXPECT_EQ(World.Files.ReplaceFileContent(Path, "x", 1), SysError::PathNotFound);
  EXPECT_FALSE(World.Files.FileExists(Path));
  EXPECT_EQ(World.Files.MakeDirectory(Path), SysError::PathNotFound);
  EXPECT_FALSE(World.Files.DirectoryExists(Path));
  // One unit shorter is within the limit.
  EXPECT_EQ(World.Files.ReplaceFileContent(Path.substr(0, Path.size() - 1), "x", 1),
            SysError::Success);
}

TEST(SimWorld, RecordsDialogsAndRunsAVirtualClock) {
  platform::sim::TSimWorld World;
  World.Clock.SetNow(45351.25);
  World.Clock.SleepMs(43200000);
  EXPECT_DOUBLE_EQ(World.Clock.Now(), 45351.75);
  EXPECT_EQ(World.Clock.SleptMs(), 43200000u);
  World.Clock.Advance(5);
  EXPECT_EQ(World.Clock.SleptMs(), 43200000u);
  World.Platform().Dialogs.ShowMessageBox("uiHook.dll can not be found!", "Error",
                                          TMessageBoxIcon::Error);
  World.Platform().Debug.DebugOutput("line");
  ASSERT_EQ(World.Dialogs.MessageBoxes().size(), 1u);
  EXPECT_EQ(World.Dialogs.MessageBoxes()[0].Caption, "Error");
  EXPECT_EQ(World.Dialogs.DebugLines(), std::vector<std::string>{"line"});
}

} // namespace
