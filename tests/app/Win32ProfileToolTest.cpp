// TARNCTL.EXE as a user runs it: a console program in the monitor's folder (support/
// MonitorFolder.h), its output read from pipes or from a console, beside a running TARNMON.EXE
// and a configuration program's window that this test plays, and killed in the middle of an
// import.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "app/ctl/StagedStore.h"
#include "backend/win32/Win32Text.h"
#include "support/MonitorFolder.h"
#include "support/Session.h"

namespace {

using namespace test;
namespace fs = std::filesystem;
using platform::win32::ToWide;

struct TToolRun {
  DWORD Code = STILL_ACTIVE;
  std::string Out;
  std::string Err;
};

// A store's registry values by name: type and bytes.
using TStoreValues = std::map<std::wstring, std::pair<DWORD, std::vector<uint8_t>>>;

// The names of the values that differ between two stores, for a message; empty when none.
std::string Differences(const TStoreValues& AOne, const TStoreValues& AOther) {
  std::string Names;
  for (const TStoreValues* Side : {&AOne, &AOther}) {
    const TStoreValues& Across = Side == &AOne ? AOther : AOne;
    for (const auto& [Name, Value] : *Side) {
      const auto Found = Across.find(Name);
      if ((Found == Across.end() || Found->second != Value) &&
          Names.find(platform::win32::FromWide(Name)) == std::string::npos) {
        Names += platform::win32::FromWide(Name) + " ";
      }
    }
  }
  return Names;
}

// The WinAPI's own entry for a thread's start address.
using TQueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int cThreadStartAddress = 9;

// The threads of a process that run the hook library's code: there is one while the library
// holds a hook for the process, none otherwise.
std::size_t HookThreadsOf(DWORD AProcess) {
  const auto Query = reinterpret_cast<TQueryThread>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  uintptr_t Start = 0;
  uintptr_t End = 0;
  const HANDLE Modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, AProcess);
  MODULEENTRY32W Module{};
  Module.dwSize = sizeof(Module);
  for (BOOL More = Module32FirstW(Modules, &Module); More; More = Module32NextW(Modules, &Module)) {
    if (_wcsicmp(Module.szModule, L"uiHook.dll") == 0) {
      Start = reinterpret_cast<uintptr_t>(Module.modBaseAddr);
      End = Start + Module.modBaseSize;
    }
  }
  CloseHandle(Modules);
  std::size_t Count = 0;
  const HANDLE Threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 Thread{};
  Thread.dwSize = sizeof(Thread);
  for (BOOL More = Thread32First(Threads, &Thread); More; More = Thread32Next(Threads, &Thread)) {
    const HANDLE Handle = Thread.th32OwnerProcessID == AProcess
                              ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, Thread.th32ThreadID)
                              : nullptr;
    uintptr_t Address = 0;
    if (Handle != nullptr &&
        Query(Handle, cThreadStartAddress, &Address, sizeof(Address), nullptr) == 0) {
      Count += Address >= Start && Address < End;
    }
    if (Handle != nullptr) {
      CloseHandle(Handle);
    }
  }
  CloseHandle(Threads);
  return Count;
}

class Win32ProfileTool : public TMonitorFolderTest {
protected:
  fs::path Program() { return Path(FFolder) / L"TARNCTL.EXE"; }
  static std::vector<std::wstring> Quoted(const std::vector<std::wstring>& AArguments) {
    std::vector<std::wstring> Line;
    for (const std::wstring& Argument : AArguments) {
      Line.push_back(L"\"" + Argument + L"\"");
    }
    return Line;
  }

  // Runs the tool with its standard output and error on pipes.
  TToolRun Tool(const std::vector<std::wstring>& AArguments) {
    TProcessOptions Captured;
    Captured.CaptureOutput = true;
    TProcess Tool(Program(), Quoted(AArguments), Captured);
    EXPECT_TRUE(Tool.Started()) << "TARNCTL.EXE did not start";
    const auto Code = Tool.End(std::chrono::seconds(60), &Desktop());
    return {Code.value_or(STILL_ACTIVE), Tool.Out(), Tool.Err()};
  }

  TStoreValues StoreValues() {
    TStoreValues Values;
    HKEY Key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(StoreKey()).c_str(), 0, KEY_READ, &Key) !=
        ERROR_SUCCESS) {
      return Values;
    }
    for (DWORD Index = 0;; ++Index) {
      wchar_t Name[256];
      DWORD NameLength = 256;
      DWORD Type = 0;
      std::vector<uint8_t> Data(1 << 20);
      auto Size = static_cast<DWORD>(Data.size());
      if (RegEnumValueW(Key, Index, Name, &NameLength, nullptr, &Type, Data.data(), &Size) !=
          ERROR_SUCCESS) {
        break;
      }
      Data.resize(Size);
      Values[std::wstring(Name, NameLength)] = {Type, std::move(Data)};
    }
    RegCloseKey(Key);
    return Values;
  }

  // A file of the test's own folder, whose name is not ASCII either.
  std::wstring Backup(const std::wstring& AName) {
    return ToWide(FBackend->Folder()) + L"Sicherung \u9F20\u6807 " + AName + L".store";
  }
};

TEST_F(Win32ProfileTool, AnswersInUtf8FromAFolderWithSpacesAndNonAsciiNames) {
  const std::wstring Folder = ToWide(FFolder);
  ASSERT_NE(Folder.find(L' '), std::wstring::npos);
  ASSERT_TRUE(std::any_of(Folder.begin(), Folder.end(), [](wchar_t C) { return C > 0x7F; }));

  const TToolRun Version = Tool({L"--version"});
  EXPECT_EQ(Version.Code, 0u);
  EXPECT_EQ(Version.Out.rfind("TARNCTL ", 0), 0u) << Version.Out;
  const TToolRun Help = Tool({L"--help"});
  EXPECT_EQ(Help.Code, 0u);
  EXPECT_NE(Help.Out.find("Exit codes:"), std::string::npos) << Help.Out;
  // An argument that is not ASCII arrives whole: the message quotes it back in UTF-8.
  const TToolRun Unknown = Tool({L"\u9F20\u6807"});
  EXPECT_EQ(Unknown.Code, 2u);
  EXPECT_NE(Unknown.Err.find("unknown command \"\xE9\xBC\xA0\xE6\xA0\x87\""), std::string::npos)
      << Unknown.Err;
  EXPECT_EQ(Unknown.Out, "");

  const TToolRun Show = Tool({L"show", L"--json"});
  ASSERT_EQ(Show.Code, 0u) << Show.Err;
  nlohmann::json Store;
  ASSERT_NO_THROW(Store = nlohmann::json::parse(Show.Out)) << Show.Out;
  EXPECT_EQ(Store["registry_key"], "HKEY_CURRENT_USER\\" + StoreKey());
  EXPECT_EQ(Store["profile_folder"], Documents() + "\\");
  EXPECT_EQ(Store["profiles"].size(), 5u);
}

TEST_F(Win32ProfileTool, OnAConsoleEveryCharacterShowsWhateverTheCodePage) {
  // A console of this test's own, whose code page (437) lacks characters of the profile folder.
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  SetConsoleOutputCP(437);
  SECURITY_ATTRIBUTES Inherited{sizeof(Inherited), nullptr, TRUE};
  const HANDLE Console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &Inherited, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(Console, INVALID_HANDLE_VALUE);
  SetConsoleScreenBufferSize(Console, COORD{250, 300});
  const auto Screen = [&] {
    std::wstring Text(250 * 300, L' ');
    DWORD Read = 0;
    ReadConsoleOutputCharacterW(Console, Text.data(), static_cast<DWORD>(Text.size()), COORD{0, 0},
                                &Read);
    Text.resize(Read);
    return Text;
  };
  // The profile folder's name up to its first character that code page 437 lacks (not the
  // Chinese after it: consoles differ in how they keep a character two cells wide).
  const std::wstring Name = ToWide(FProfileFolder).substr(0, 10);
  ASSERT_EQ(Name, L"Profiles \u0151");
  // The positive control: the same UTF-8 bytes written as bytes show as other characters.
  const std::string Bytes = FProfileFolder + "\n";
  DWORD Written = 0;
  WriteFile(Console, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
  EXPECT_EQ(Screen().find(Name), std::wstring::npos);

  TProcessOptions OnTheConsole;
  OnTheConsole.Console = Console;
  TProcess Show(Program(), Quoted({L"show", L"1"}), OnTheConsole);
  ASSERT_TRUE(Show.Started());
  EXPECT_EQ(Show.End(std::chrono::seconds(60), &Desktop()), 0u);
  EXPECT_NE(Screen().find(Name), std::wstring::npos);
  CloseHandle(Console);
  FreeConsole();
}

TEST_F(Win32ProfileTool, TheRunningMonitorFollowsTheLanguageTheProfilesAndTheCurrentProfile) {
  const std::size_t Monitor = Start();
  ASSERT_NE(MainWindowOf(Monitor), nullptr);
  LetItSettle();
  ASSERT_NE(FindTrayIcon(Desktop(), cEnglishHint), nullptr);

  // The language: the monitor reads the settings again (7037) and speaks Chinese.
  const TToolRun Language = Tool({L"language", L"1"});
  EXPECT_EQ(Language.Code, 0u) << Language.Err;
  EXPECT_NE(Language.Err.find("Told the running monitor"), std::string::npos) << Language.Err;
  EXPECT_NE(FindTrayIcon(Desktop(), cChineseHint), nullptr);

  // Profiles (7035): with no filter driver here, what shows of the reload is the wheel's hook,
  // which the monitor holds only while the current profile changes the wheel. Profile 2's
  // wheel changes, then profile 2 becomes the current one: the hook comes; the wheel back to
  // standard: it goes.
  EXPECT_EQ(HookThreadsOf(Id(Monitor)), 0u);
  ASSERT_EQ(Tool({L"wheel", L"2", L"up", L"1:5"}).Code, 0u);
  ASSERT_EQ(Tool({L"game", L"2"}).Code, 0u);
  EXPECT_TRUE(PumpUntil(
      Desktop(), [&] { return HookThreadsOf(Id(Monitor)) == 1; }, 10000));
  ASSERT_EQ(Tool({L"wheel", L"2", L"up", L"standard"}).Code, 0u);
  EXPECT_TRUE(PumpUntil(
      Desktop(), [&] { return HookThreadsOf(Id(Monitor)) == 0; }, 10000));
  EXPECT_EQ(EndOf(Monitor, 0), DWORD{STILL_ACTIVE});
}

TEST_F(Win32ProfileTool, AnImportGivesTheExportedStoreBackByteForByte) {
  ASSERT_EQ(Tool({L"reset", L"all"}).Code, 0u);
  const TStoreValues Exported = StoreValues();
  ASSERT_EQ(Exported.size(), 7u);
  const TToolRun Export = Tool({L"export", Backup(L"A")});
  ASSERT_EQ(Export.Code, 0u) << Export.Err;

  // While the configuration program is open a change is refused, unless forced.
  {
    TConfigWindow Config(Desktop());
    ASSERT_NE(Config.Handle, 0u);
    const TToolRun Refused = Tool({L"cpi", L"1", L"level", L"3", L"3200"});
    EXPECT_EQ(Refused.Code, 1u);
    EXPECT_NE(Refused.Err.find("the configuration program is open"), std::string::npos)
        << Refused.Err;
    EXPECT_EQ(Differences(StoreValues(), Exported), "");
    EXPECT_EQ(Tool({L"--force", L"cpi", L"1", L"level", L"3", L"3200"}).Code, 0u);
    Desktop().DestroyHiddenWindow(Config.Handle);
  }
  ASSERT_EQ(Tool({L"game", L"2"}).Code, 0u);
  ASSERT_EQ(Tool({L"button", L"4", L"2", L"mute"}).Code, 0u);
  EXPECT_EQ(Differences(StoreValues(), Exported), "ZQProfile1.pfd ZQProfile4.pfd allsettings.pfd ");

  const TToolRun Import = Tool({L"import", Backup(L"A")});
  ASSERT_EQ(Import.Code, 0u) << Import.Err;
  EXPECT_EQ(Differences(StoreValues(), Exported), "");
}

// An import killed at random moments, over and over, alternating between two exports: after
// each kill the next command finishes what the journal holds, and the store is then the one
// or the other, never a mixture.
TEST_F(Win32ProfileTool, AKilledImportLeavesTheOldOrTheNewStore) {
  ASSERT_EQ(Tool({L"reset", L"all"}).Code, 0u);
  ASSERT_EQ(Tool({L"export", Backup(L"A")}).Code, 0u);
  TStoreValues Stores[2] = {StoreValues(), {}};
  for (const auto& Change :
       std::vector<std::vector<std::wstring>>{{L"cpi", L"1", L"level", L"3", L"3200"},
                                              {L"game", L"2"},
                                              {L"language", L"1"},
                                              {L"button", L"5", L"2", L"mute"}}) {
    ASSERT_EQ(Tool(Change).Code, 0u);
  }
  ASSERT_EQ(Tool({L"export", Backup(L"B")}).Code, 0u);
  Stores[1] = StoreValues();
  ASSERT_NE(Differences(Stores[0], Stores[1]), "");
  const fs::path Journal = Path(ctl::JournalPath(Documents()));

  // How long an import that is not killed runs, from its start to its end.
  const auto Started = std::chrono::steady_clock::now();
  ASSERT_EQ(Tool({L"import", Backup(L"A")}).Code, 0u);
  const auto Whole = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - Started)
                         .count();

  std::mt19937 Random(20261210);
  int Current = 0;
  int Changed = 0;
  int MidWay = 0;
  constexpr int cKills = 40;
  for (int Kill = 0; Kill < cKills; ++Kill) {
    const int Wanted = 1 - Current;
    TProcess Import(Program(), Quoted({L"import", Backup(Wanted == 0 ? L"A" : L"B")}));
    ASSERT_TRUE(Import.Started());
    // Half the kills at any moment of the run, half once the journal is there, so that some
    // land while the store is being written.
    if (Kill % 2 == 0) {
      Sleep(static_cast<DWORD>(Random() % static_cast<uint32_t>(Whole + 1)));
    } else {
      WaitUntil([&] { return fs::exists(Journal) || !Import.Running(); }, cWaitBound, [] {});
      Sleep(Random() % 3);
    }
    Import.Kill();
    MidWay += fs::exists(Journal);

    const TToolRun Show = Tool({L"show"});
    ASSERT_EQ(Show.Code, 0u) << Show.Err;
    EXPECT_FALSE(fs::exists(Journal));
    const TStoreValues Now = StoreValues();
    const std::string FromOld = Differences(Now, Stores[Current]);
    const std::string FromNew = Differences(Now, Stores[Wanted]);
    ASSERT_TRUE(FromOld.empty() || FromNew.empty())
        << "kill " << Kill << ": the store differs from the old one in " << FromOld
        << "and from the new one in " << FromNew;
    Changed += FromNew.empty();
    Current = FromNew.empty() ? Wanted : Current;
  }
  // The positive controls: imports did change the store, and kills did land while it was
  // being written.
  std::cout << cKills << " kills, " << MidWay << " in the middle of the writes, " << Changed
            << " after the store had changed; an import ran " << Whole << " ms\n";
  EXPECT_GT(Changed, 0);
  EXPECT_GT(MidWay, 0);
}

} // namespace
