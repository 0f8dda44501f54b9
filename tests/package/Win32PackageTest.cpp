// What a user downloads, used as a user uses it under the real session: the ZIP unpacked into
// a folder whose name has spaces and non-ASCII characters runs the monitor from there; the
// installer installs silently, starts the monitor through the shell and adds the start at
// logon; its uninstaller ends the running monitor and removes what was installed and nothing
// else. Each monitor keeps its profile store apart from every other test's.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

#include "app/ConfigProgramProtocol.h"
#include "backend/win32/Win32Text.h"
#include "support/MonitorFolder.h"
#include "support/Process.h"
#include "support/Session.h"
#include "support/TestHost.h"
#include "support/TestPlatform.h"

namespace {

using namespace test;
namespace fs = std::filesystem;
using platform::win32::ToWide;

const std::wstring cProgram = L"TARNMON.EXE";
const std::wstring cRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring cRunValue = L"TARNMON";
const std::wstring cSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::wstring cPendingRenames = L"PendingFileRenameOperations";
const std::wstring cUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gaming Mouse Monitor";
const std::wstring cShortcut = L"Gaming Mouse\\Gaming Mouse Monitor.lnk";
// Every file of the package, as the program's folder holds them.
const std::set<std::wstring> cPackageFiles = {L"TARNMON.EXE",
                                              L"TARNCTL.EXE",
                                              L"uiHook.dll",
                                              L"ui.local",
                                              L"config.ini",
                                              L"README.txt",
                                              L"images\\0409\\icons\\logo.ico"};

// The build folder, or the unpacked test bundle, which holds the packages as the build does.
fs::path BuildFolder() {
  return test::ProgramFolder().parent_path();
}

std::string ReadAll(const fs::path& AFile) {
  std::ifstream Stream(AFile, std::ios::binary);
  return {std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
}

// The files below a folder, relative to it.
std::set<std::wstring> FilesBelow(const fs::path& AFolder) {
  std::set<std::wstring> Files;
  for (const auto& Entry : fs::recursive_directory_iterator(AFolder)) {
    if (Entry.is_regular_file()) {
      Files.insert(Entry.path().lexically_relative(AFolder).wstring());
    }
  }
  return Files;
}

std::optional<std::wstring> ReadString(HKEY ARoot, const std::wstring& AKey,
                                       const std::wstring& AName) {
  wchar_t Data[1024] = {};
  DWORD Size = sizeof(Data) - sizeof(wchar_t);
  if (RegGetValueW(ARoot, AKey.c_str(), AName.c_str(), RRF_RT_REG_SZ, nullptr, Data, &Size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(Data);
}

bool KeyExists(HKEY ARoot, const std::wstring& AKey) {
  HKEY Key = nullptr;
  if (RegOpenKeyExW(ARoot, AKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &Key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(Key);
  return true;
}

fs::path CommonPrograms() {
  wchar_t Folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, Folder);
  return Folder;
}

// The full path of a process's executable, empty when it cannot be asked.
std::wstring ImageOf(DWORD AProcess) {
  const HANDLE Process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, AProcess);
  if (Process == nullptr) {
    return {};
  }
  wchar_t Image[MAX_PATH] = {};
  DWORD Length = MAX_PATH;
  const BOOL Done = QueryFullProcessImageNameW(Process, 0, Image, &Length);
  CloseHandle(Process);
  return Done ? std::wstring(Image, Length) : std::wstring();
}

bool SamePath(fs::path AOne, fs::path AOther) {
  AOne.make_preferred();
  AOther.make_preferred();
  return CompareStringOrdinal(AOne.c_str(), -1, AOther.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The process of a monitor main window whose executable is AProgram; 0 when there is none.
DWORD MonitorRunningFrom(const fs::path& AProgram) {
  for (HWND Main : WindowsOf(0, ToWide(app::cMainWindowClass))) {
    DWORD Process = 0;
    GetWindowThreadProcessId(Main, &Process);
    if (SamePath(ImageOf(Process), AProgram)) {
      return Process;
    }
  }
  return 0;
}

// A registry value as it was before a test (its type and bytes, or its absence), put back
// afterwards whatever the test or an installer it ran did.
class TRegistryValueKeeper {
public:
  TRegistryValueKeeper(HKEY ARoot, std::wstring AKey, std::wstring AName)
      : FRoot(ARoot), FKey(std::move(AKey)), FName(std::move(AName)) {
    DWORD Size = 0;
    if (RegGetValueW(FRoot, FKey.c_str(), FName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &FType, nullptr,
                     &Size) == ERROR_SUCCESS) {
      FBytes.emplace(Size);
      RegGetValueW(FRoot, FKey.c_str(), FName.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &FType,
                   FBytes->data(), &Size);
      FBytes->resize(Size);
    }
  }
  ~TRegistryValueKeeper() {
    if (FBytes) {
      RegSetKeyValueW(FRoot, FKey.c_str(), FName.c_str(), FType, FBytes->data(),
                      static_cast<DWORD>(FBytes->size()));
    } else {
      RegDeleteKeyValueW(FRoot, FKey.c_str(), FName.c_str());
    }
  }
  TRegistryValueKeeper(const TRegistryValueKeeper&) = delete;
  TRegistryValueKeeper& operator=(const TRegistryValueKeeper&) = delete;

private:
  HKEY FRoot;
  std::wstring FKey;
  std::wstring FName;
  DWORD FType = REG_NONE;
  std::optional<std::vector<uint8_t>> FBytes;
};

void WriteString(HKEY ARoot, const std::wstring& AKey, const std::wstring& AName,
                 const std::wstring& AValue) {
  ASSERT_EQ(RegSetKeyValueW(ARoot, AKey.c_str(), AName.c_str(), REG_SZ, AValue.c_str(),
                            static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The renames and deletions that Windows carries out when it next starts, in their order, as
// (file, new name) with an empty new name for a deletion.
std::vector<std::pair<fs::path, fs::path>> PendingRenames() {
  std::vector<wchar_t> Data(1 << 16);
  DWORD Size = static_cast<DWORD>(Data.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_LOCAL_MACHINE, cSessionManager.c_str(), cPendingRenames.c_str(),
                   RRF_RT_REG_MULTI_SZ, nullptr, Data.data(), &Size) != ERROR_SUCCESS) {
    return {};
  }
  // Pairs of strings, the second one empty for a deletion: an empty string ends nothing here.
  std::vector<std::wstring> Names;
  for (std::size_t At = 0, End = Size / sizeof(wchar_t); At < End;) {
    const std::wstring Name(&Data[At]);
    At += Name.size() + 1;
    Names.push_back(Name);
  }
  // The names are in the object manager's form ("\??\C:\..."); "!" asks to replace.
  const auto Plain = [](std::wstring AName) {
    if (AName.rfind(L"!", 0) == 0) {
      AName.erase(0, 1);
    }
    if (AName.rfind(L"\\??\\", 0) == 0) {
      AName.erase(0, 4);
    }
    return fs::path(AName);
  };
  std::vector<std::pair<fs::path, fs::path>> Renames;
  for (std::size_t I = 0; I + 1 < Names.size(); I += 2) {
    Renames.emplace_back(Plain(Names[I]), Plain(Names[I + 1]));
  }
  return Renames;
}

// A file held open, as a running program or another session's monitor holds its files: it can
// be read, but neither written nor deleted.
class THeldFile {
public:
  explicit THeldFile(const fs::path& AFile)
      : FHandle(CreateFileW(AFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    EXPECT_NE(FHandle, INVALID_HANDLE_VALUE) << AFile.string();
  }
  ~THeldFile() { CloseHandle(FHandle); }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;

private:
  HANDLE FHandle;
};

class Win32Package : public TOwnStoreTest {
protected:
  // An ASCII profile folder: the shipped "config.ini" has no UTF-8 mark. The installation
  // goes to a folder with spaces below the test's own folder, whose name is not ASCII.
  Win32Package() : TOwnStoreTest("PackageTestProfiles") {
    FInstallFolder = Path(FBackend->Folder()) / L"Gaming Mouse";
  }
  ~Win32Package() override {
    PressEscape();
    SetCursorPos(cPointerAway.x, cPointerAway.y);
    // An installation the test left behind goes the way it came, taking its Start menu entry
    // and its uninstall key with it.
    if (fs::exists(FInstallFolder / L"Uninstall.exe")) {
      UninstallInPlace();
    }
    for (const fs::path& Program : {FInstallFolder / cProgram, UnpackedFolder() / cProgram}) {
      EndMonitorFrom(Program);
    }
  }

  // Uninstalls silently in place, waiting for the end (Uninstall.exe stays); its exit code.
  DWORD UninstallInPlace() {
    return Run(FInstallFolder / L"Uninstall.exe", L"/S _?=" + FInstallFolder.wstring(), 60000);
  }
  static fs::path UnpackedFolder() {
    return (BuildFolder() / Path(MONITOR_UNPACKED_PROGRAM)).make_preferred();
  }

  // Runs a program to its end within AMs, answering messages meanwhile; its exit code, or
  // STILL_ACTIVE.
  DWORD Run(const fs::path& AProgram, const std::wstring& AArguments, int AMs) {
    TProcess Process(AProgram, {AArguments});
    EXPECT_TRUE(Process.Started()) << "cannot start " << AProgram;
    return Process.End(std::chrono::milliseconds(AMs), &Desktop()).value_or(STILL_ACTIVE);
  }
  // The monitor started from there, waited for; 0 when none came.
  DWORD WaitForMonitorFrom(const fs::path& AProgram, int AMs = 20000) {
    DWORD Process = 0;
    PumpUntil(
        Desktop(), [&] { return (Process = MonitorRunningFrom(AProgram)) != 0; }, AMs);
    return Process;
  }
  // Closed as a user's logoff closes it; ended by force only when it does not end.
  void EndMonitorFrom(const fs::path& AProgram) {
    for (DWORD Id = MonitorRunningFrom(AProgram); Id != 0; Id = MonitorRunningFrom(AProgram)) {
      TProcess Monitor(Id);
      if (!Monitor.Started()) {
        return;
      }
      Monitor.Close(Desktop(), ToWide(app::cMainWindowClass));
    }
  }
  TProcess Start(const fs::path& AProgram) { return TProcess(AProgram, {}, {BuildFolder()}); }

  fs::path FInstallFolder;
};

TEST_F(Win32Package, TheUnpackedZipRunsTheMonitorFromAFolderWithSpacesAndNonAsciiName) {
  const fs::path Folder = UnpackedFolder();
  ASSERT_TRUE(fs::exists(Folder)) << "the ZIP was not unpacked by the package.unpack_zip test";
  const std::wstring Name = Folder.wstring();
  EXPECT_NE(Name.find(L' '), std::wstring::npos);
  EXPECT_TRUE(std::any_of(Name.begin(), Name.end(), [](wchar_t AChar) { return AChar > 0x7F; }));
  EXPECT_EQ(FilesBelow(Folder), cPackageFiles);
  // The read-me and the options open well in Notepad: CR LF line ends only.
  for (const wchar_t* Text : {L"README.txt", L"config.ini"}) {
    const std::string Content = ReadAll(Folder / Text);
    std::size_t Bare = 0;
    for (std::size_t I = 0; I < Content.size(); ++I) {
      Bare += Content[I] == '\n' && (I == 0 || Content[I - 1] != '\r');
    }
    EXPECT_GT(Content.size(), 0u);
    EXPECT_EQ(Bare, 0u) << "bare line ends in " << fs::path(Text).string();
  }

  // Every shipped binary shows the version the package is named after, under its own name,
  // with the copyright line.
  for (const std::wstring& Executable :
       {cProgram, std::wstring(L"TARNCTL.EXE"), std::wstring(L"uiHook.dll")}) {
    const fs::path File = Folder / Executable;
    DWORD Ignored = 0;
    std::vector<uint8_t> Info(GetFileVersionInfoSizeW(File.c_str(), &Ignored));
    ASSERT_FALSE(Info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(File.c_str(), 0, static_cast<DWORD>(Info.size()), Info.data()));
    VS_FIXEDFILEINFO* Fixed = nullptr;
    UINT Length = 0;
    ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\", reinterpret_cast<void**>(&Fixed), &Length));
    std::ostringstream Numbers;
    Numbers << HIWORD(Fixed->dwFileVersionMS) << '.' << LOWORD(Fixed->dwFileVersionMS) << '.'
            << HIWORD(Fixed->dwFileVersionLS);
    EXPECT_EQ(Numbers.str(), MONITOR_PACKAGE_VERSION);
    wchar_t* Text = nullptr;
    ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&Text), &Length));
    EXPECT_EQ(std::wstring(Text).rfind(ToWide(MONITOR_PACKAGE_VERSION) + L".", 0), 0u) << Text;
    ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                               reinterpret_cast<void**>(&Text), &Length));
    EXPECT_EQ(std::wstring(Text), Executable);
    ASSERT_TRUE(VerQueryValueW(Info.data(), L"\\StringFileInfo\\040904B0\\LegalCopyright",
                               reinterpret_cast<void**>(&Text), &Length));
    EXPECT_EQ(std::wstring(Text).rfind(L"Copyright", 0), 0u) << Text;
  }

  const fs::path Program = Folder / cProgram;
  // The shipped options, with a profile store of the test's own in front.
  const std::string Shipped = ReadAll(Folder / L"config.ini");
  std::ofstream(Folder / L"config.ini", std::ios::binary) << StoreOptions() << Shipped;

  // Its tray icon with its hint; a second start ends at once; EXIT ends it.
  TProcess First = Start(Program);
  ASSERT_NE(WaitForMonitorFrom(Program), 0u);
  PumpUntil(
      Desktop(), [] { return false; }, 3500); // the whole time
  const HWND Icon = FindTrayIcon(Desktop(), cEnglishHint);
  ASSERT_NE(Icon, nullptr);
  TProcess Second = Start(Program);
  EXPECT_EQ(Second.End(std::chrono::seconds(20), &Desktop()), 0u);
  EXPECT_TRUE(First.Running());
  EXPECT_TRUE(ChooseFromTrayMenu(Desktop(), First.Id(), Icon, 1, 2));
  EXPECT_EQ(First.End(std::chrono::seconds(20), &Desktop()), 0u);
  EXPECT_FALSE(Desktop().NamedMutexExists(app::cMutexName));
  std::ofstream(Folder / L"config.ini", std::ios::binary) << Shipped;
}

bool Elevated() {
  HANDLE Token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Token)) {
    return false;
  }
  TOKEN_ELEVATION Elevation{};
  DWORD Size = 0;
  const bool Known =
      GetTokenInformation(Token, TokenElevation, &Elevation, sizeof(Elevation), &Size) != FALSE;
  CloseHandle(Token);
  return Known && Elevation.TokenIsElevated != 0;
}

class Win32Installer : public Win32Package {
protected:
  void SetUp() override {
    if (std::string(MONITOR_PACKAGE_INSTALLER).empty()) {
      GTEST_SKIP() << "no installer was built here (NSIS is missing)";
    }
    // The installer asks for an administrator; Windows refuses to start it from a process
    // without one (Wine raises the installer itself).
    if (!test::UnderWine() && !Elevated()) {
      GTEST_SKIP() << "the installer needs an administrator: run the tests from an "
                      "administrator's Command Prompt";
    }
  }
  // Installs silently with the switches given; the installer's exit code.
  DWORD Install(const std::wstring& ASwitches) {
    const fs::path Installer = BuildFolder() / Path(MONITOR_PACKAGE_INSTALLER);
    // The folder goes last and without quotes, spaces and all.
    return Run(Installer, L"/S " + ASwitches + L" /D=" + FInstallFolder.wstring(), 120000);
  }
  // Uninstalls silently as a user does (the uninstaller goes on from a copy of itself);
  // true once the uninstall key has gone, its last step.
  bool Uninstall() {
    if (Run(FInstallFolder / L"Uninstall.exe", L"/S", 60000) != 0) {
      return false;
    }
    return PumpUntil(
        Desktop(), [] { return !KeyExists(HKEY_LOCAL_MACHINE, cUninstallKey); }, 60000);
  }
  // The start at logon of the user and of the machine, and what the next restart is to do.
  TRegistryValueKeeper FUserRunEntry{HKEY_CURRENT_USER, cRunKey, cRunValue};
  TRegistryValueKeeper FMachineRunEntry{HKEY_LOCAL_MACHINE, cRunKey, cRunValue};
  TRegistryValueKeeper FPendingRenames{HKEY_LOCAL_MACHINE, cSessionManager, cPendingRenames};
};

TEST_F(Win32Installer, InstallsStartsTheMonitorAndItsUninstallerEndsItAndRemovesOnlyWhatItAdded) {
  // The configuration program's folder, with its program and its own "config.ini".
  fs::create_directories(FInstallFolder);
  const std::string ConfigProgram = "not run here";
  std::ofstream(FInstallFolder / L"TARNCFG.EXE", std::ios::binary) << ConfigProgram;
  const std::string OwnConfig = StoreOptions() + "[DEVICE]\r\nDeviceName=usbkmfx00001\r\n";
  std::ofstream(FInstallFolder / L"config.ini", std::ios::binary) << OwnConfig;
  // Its language file and tray icon, which the installation must neither replace nor remove.
  const std::string OwnLanguages = "the configuration program's languages";
  std::ofstream(FInstallFolder / L"ui.local", std::ios::binary) << OwnLanguages;
  const fs::path Icon = FInstallFolder / L"images" / L"0409" / L"icons" / L"logo.ico";
  fs::create_directories(Icon.parent_path());
  std::ofstream(Icon, std::ios::binary) << OwnLanguages;
  // A profile store the user had before.
  const std::wstring StoreKey = ToWide(FBackend->KeyPath());
  const std::vector<uint8_t> Record = PatternBytes(64);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, StoreKey.c_str(), L"allsettings.pfd", REG_BINARY,
                            Record.data(), static_cast<DWORD>(Record.size())),
            ERROR_SUCCESS);
  fs::create_directories(Path(Documents()));
  const std::string Profile = "a game profile of the user's";
  std::ofstream(Path(Documents()) / L"ZQProfile1.pfd", std::ios::binary) << Profile;

  ASSERT_EQ(Install(L""), 0u);
  const fs::path Program = FInstallFolder / cProgram;
  std::set<std::wstring> Expected = cPackageFiles;
  Expected.insert({L"Uninstall.exe", L"TARNCFG.EXE"});
  EXPECT_EQ(FilesBelow(FInstallFolder), Expected);
  EXPECT_EQ(ReadAll(FInstallFolder / L"config.ini"), OwnConfig);
  EXPECT_EQ(ReadAll(FInstallFolder / L"ui.local"), OwnLanguages);
  EXPECT_EQ(ReadAll(Icon), OwnLanguages);
  // The start at logon is the machine's, for every user: the installation is.
  const std::wstring Entry = L"\"" + Program.wstring() + L"\"";
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cRunKey, cRunValue), Entry);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, cRunKey, cRunValue), std::nullopt);
  EXPECT_TRUE(fs::exists(CommonPrograms() / cShortcut));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cUninstallKey, L"DisplayVersion"),
            ToWide(MONITOR_PACKAGE_VERSION));

  // The installer started the installed monitor, through the shell.
  const DWORD Monitor = WaitForMonitorFrom(Program);
  ASSERT_NE(Monitor, 0u);
  TProcess Process(Monitor);
  ASSERT_TRUE(Process.Started());
  EXPECT_NE(FindTrayIcon(Desktop(), cEnglishHint), nullptr);

  // A per-user start at logon of this installation, as an earlier version made it, goes too.
  WriteString(HKEY_CURRENT_USER, cRunKey, cRunValue, Entry);
  ASSERT_TRUE(Uninstall());
  EXPECT_FALSE(Process.Running()) << "the monitor still runs";
  EXPECT_EQ(FilesBelow(FInstallFolder),
            (std::set<std::wstring>{L"TARNCFG.EXE", L"config.ini", L"ui.local",
                                    L"images\\0409\\icons\\logo.ico"}));
  EXPECT_EQ(ReadAll(FInstallFolder / L"TARNCFG.EXE"), ConfigProgram);
  EXPECT_EQ(ReadAll(FInstallFolder / L"config.ini"), OwnConfig);
  EXPECT_EQ(ReadAll(FInstallFolder / L"ui.local"), OwnLanguages);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cRunKey, cRunValue), std::nullopt);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, cRunKey, cRunValue), std::nullopt);
  EXPECT_FALSE(fs::exists(CommonPrograms() / cShortcut));
  std::vector<uint8_t> Kept(256);
  DWORD Size = static_cast<DWORD>(Kept.size());
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, StoreKey.c_str(), L"allsettings.pfd", RRF_RT_REG_BINARY,
                         nullptr, Kept.data(), &Size),
            ERROR_SUCCESS);
  Kept.resize(Size);
  EXPECT_EQ(Kept, Record);
  EXPECT_EQ(ReadAll(Path(Documents()) / L"ZQProfile1.pfd"), Profile);
}

TEST_F(Win32Installer, UpgradesFollowTheLogonChoiceAndTheLastUninstallEmptiesTheFolder) {
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);
  const fs::path Program = FInstallFolder / cProgram;
  const std::wstring Entry = L"\"" + Program.wstring() + L"\"";
  std::set<std::wstring> Expected = cPackageFiles;
  Expected.insert(L"Uninstall.exe");
  EXPECT_EQ(FilesBelow(FInstallFolder), Expected);
  EXPECT_EQ(ReadAll(FInstallFolder / L"config.ini"),
            ReadAll(BuildFolder() / L"program" / L"config.ini"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cRunKey, cRunValue), std::nullopt);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, cRunKey, cRunValue), std::nullopt);
  EXPECT_EQ(WaitForMonitorFrom(Program, 3000), 0u);
  // Upgrades in place: the files it put in stay its own, and the start at logon follows the
  // latest choice. An earlier version's start at logon for the installing user moves to the
  // machine.
  WriteString(HKEY_CURRENT_USER, cRunKey, cRunValue, Entry);
  ASSERT_EQ(Install(L"/NOSTART"), 0u);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cRunKey, cRunValue), Entry);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, cRunKey, cRunValue), std::nullopt);
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cRunKey, cRunValue), std::nullopt);
  EXPECT_EQ(FilesBelow(FInstallFolder), Expected);
  // Someone else's start at logon under the same name is neither the upgrade's nor the
  // uninstaller's to remove, for the user or for the machine.
  const std::wstring Elsewhere = L"\"C:\\elsewhere\\TARNMON.EXE\"";
  for (HKEY Root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    WriteString(Root, cRunKey, cRunValue, Elsewhere);
  }
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);

  ASSERT_TRUE(Uninstall());
  EXPECT_FALSE(fs::exists(FInstallFolder));
  for (HKEY Root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    EXPECT_EQ(ReadString(Root, cRunKey, cRunValue), Elsewhere);
  }
}

TEST_F(Win32Installer, OptionsTheUserChangedAfterTheInstallationStay) {
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);
  // Changed a second later than the installation left it, as an editor saves it.
  const fs::path Options = FInstallFolder / L"config.ini";
  const std::string Changed = ReadAll(Options) + "; the user's note\r\n";
  std::ofstream(Options, std::ios::binary) << Changed;
  fs::last_write_time(Options, fs::last_write_time(Options) + std::chrono::seconds(1));

  ASSERT_TRUE(Uninstall());
  EXPECT_EQ(FilesBelow(FInstallFolder), std::set<std::wstring>{L"config.ini"});
  EXPECT_EQ(ReadAll(Options), Changed);
}

TEST_F(Win32Installer, FilesInUseAreReplacedOrRemovedAtTheRestartThatTheExitCodeAsksFor) {
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);
  // An earlier version, whose binaries a monitor in another session holds while the upgrade
  // runs.
  const fs::path Program = FInstallFolder / cProgram;
  const fs::path Hook = FInstallFolder / L"uiHook.dll";
  const std::string Earlier = "an earlier version's binary";
  for (const fs::path& Binary : {Program, Hook}) {
    std::ofstream(Binary, std::ios::binary) << Earlier;
  }
  WriteString(HKEY_LOCAL_MACHINE, cUninstallKey, L"DisplayVersion", L"0.9.0");
  // The pending renames into one file, in order.
  const auto RenamesInto = [](const fs::path& ATarget) {
    std::vector<fs::path> Sources;
    for (const auto& [From, To] : PendingRenames()) {
      if (!To.empty() && SamePath(To, ATarget)) {
        Sources.push_back(From);
      }
    }
    return Sources;
  };
  {
    const THeldFile HeldProgram(Program);
    const THeldFile HeldHook(Hook);
    // The hold is real: the file can be neither written nor deleted now.
    EXPECT_EQ(CreateFileW(Program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileW(Hook.c_str()));

    // Where the new program cannot even wait beside the old one (a folder has its name), the
    // upgrade stops before it records anything.
    const fs::path Blocked = Program.wstring() + L".new";
    fs::create_directory(Blocked);
    EXPECT_EQ(Install(L"/NOLOGON /NOSTART"), 2u);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cUninstallKey, L"DisplayVersion"), L"0.9.0");
    EXPECT_TRUE(RenamesInto(Program).empty());
    fs::remove(Blocked);

    EXPECT_EQ(Install(L"/NOLOGON /NOSTART"), DWORD{ERROR_SUCCESS_REBOOT_REQUIRED});
    // Each held binary has the new one waiting beside it, to be moved over it at the restart;
    // the version recorded is the one the restart completes.
    for (const fs::path& Binary : {Program, Hook}) {
      EXPECT_EQ(ReadAll(Binary), Earlier);
      const std::vector<fs::path> Sources = RenamesInto(Binary);
      EXPECT_EQ(Sources.size(), 1u) << Binary.string();
      for (const fs::path& Source : Sources) {
        EXPECT_EQ(ReadAll(Source), ReadAll(BuildFolder() / L"program" / Binary.filename()));
      }
    }
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, cUninstallKey, L"DisplayVersion"),
              ToWide(MONITOR_PACKAGE_VERSION));
  }

  // The uninstaller, in place so that its exit code is seen, with the program held: the hook
  // goes now, the program at the restart, and nothing of the waiting upgrade is moved in.
  const std::vector<fs::path> Waiting = RenamesInto(Program);
  {
    const THeldFile HeldProgram(Program);
    EXPECT_EQ(UninstallInPlace(), DWORD{ERROR_SUCCESS_REBOOT_REQUIRED});
  }
  EXPECT_FALSE(fs::exists(Hook));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, cUninstallKey));
  for (const fs::path& Source : Waiting) {
    EXPECT_FALSE(fs::exists(Source)) << Source.string();
  }
  const auto Renames = PendingRenames();
  EXPECT_NE(std::find_if(Renames.begin(), Renames.end(),
                         [&](const auto& ARename) {
                           return SamePath(ARename.first, Program) && ARename.second.empty();
                         }),
            Renames.end())
      << "the program is not removed at the restart";
  // Nothing is held any more: this uninstaller leaves only itself and asks for no restart.
  ASSERT_EQ(Install(L"/NOLOGON /NOSTART"), 0u);
  EXPECT_EQ(UninstallInPlace(), 0u);
  EXPECT_EQ(FilesBelow(FInstallFolder), std::set<std::wstring>{L"Uninstall.exe"});
}

} // namespace
