#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include <algorithm>
#include <cstring>

#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"

namespace platform::win32 {

namespace {

// The setup library and the configuration manager, bound at run time from the system folder
// only.
struct TDeviceInstallation {
  HMODULE Setup = LoadSystemLibrary(L"setupapi.dll");
  HMODULE ConfigManager = LoadSystemLibrary(L"cfgmgr32.dll");
  decltype(&SetupDiGetClassDevsW) GetClassDevs =
      Resolve<decltype(GetClassDevs)>(Setup, "SetupDiGetClassDevsW");
  decltype(&SetupDiEnumDeviceInfo) EnumDeviceInfo =
      Resolve<decltype(EnumDeviceInfo)>(Setup, "SetupDiEnumDeviceInfo");
  decltype(&SetupDiGetDeviceRegistryPropertyW) GetProperty =
      Resolve<decltype(GetProperty)>(Setup, "SetupDiGetDeviceRegistryPropertyW");
  decltype(&SetupDiSetDeviceRegistryPropertyW) SetProperty =
      Resolve<decltype(SetProperty)>(Setup, "SetupDiSetDeviceRegistryPropertyW");
  decltype(&SetupDiSetClassInstallParamsW) SetClassInstallParams =
      Resolve<decltype(SetClassInstallParams)>(Setup, "SetupDiSetClassInstallParamsW");
  decltype(&SetupDiCallClassInstaller) CallClassInstaller =
      Resolve<decltype(CallClassInstaller)>(Setup, "SetupDiCallClassInstaller");
  decltype(&SetupDiGetDeviceInstallParamsW) GetInstallParams =
      Resolve<decltype(GetInstallParams)>(Setup, "SetupDiGetDeviceInstallParamsW");
  decltype(&SetupDiDestroyDeviceInfoList) DestroyList =
      Resolve<decltype(DestroyList)>(Setup, "SetupDiDestroyDeviceInfoList");
  decltype(&CM_Get_DevNode_Status) GetStatus =
      Resolve<decltype(GetStatus)>(ConfigManager, "CM_Get_DevNode_Status");

  bool Usable() const {
    return GetClassDevs && EnumDeviceInfo && GetProperty && SetProperty && SetClassInstallParams &&
           CallClassInstaller && GetInstallParams && DestroyList;
  }
  TDeviceInstallation() = default;
  TDeviceInstallation(const TDeviceInstallation&) = delete;
  TDeviceInstallation& operator=(const TDeviceInstallation&) = delete;
  ~TDeviceInstallation() {
    if (ConfigManager != nullptr) {
      FreeLibrary(ConfigManager);
    }
    if (Setup != nullptr) {
      FreeLibrary(Setup);
    }
  }
};

constexpr DWORD cPropertyBufferBytes = 32768;

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

class TWin32DeviceNodeList : public IDeviceNodeList {
public:
  TWin32DeviceNodeList(std::shared_ptr<const TDeviceInstallation> ALibrary, HDEVINFO AList)
      : FLibrary(std::move(ALibrary)), FList(AList) {}
  ~TWin32DeviceNodeList() override { FLibrary->DestroyList(FList); }
  TWin32DeviceNodeList(const TWin32DeviceNodeList&) = delete;
  TWin32DeviceNodeList& operator=(const TWin32DeviceNodeList&) = delete;

  bool HasNode(uint32_t AIndex) override {
    SP_DEVINFO_DATA Data;
    return Node(AIndex, Data);
  }

  uint32_t ReadStrings(uint32_t AIndex, TDeviceProperty AProperty,
                       std::vector<std::string>& AStrings) override {
    AStrings.clear();
    SP_DEVINFO_DATA Data;
    if (!Node(AIndex, Data)) {
      return LastError();
    }
    // The buffer's first character is cleared, so a failed read leaves an empty list.
    std::vector<wchar_t> Buffer(cPropertyBufferBytes / sizeof(wchar_t), L'\0');
    DWORD Type = 0;
    DWORD Required = 0;
    if (!FLibrary->GetProperty(FList, &Data, static_cast<DWORD>(AProperty), &Type,
                               reinterpret_cast<BYTE*>(Buffer.data()), cPropertyBufferBytes,
                               &Required)) {
      return LastError();
    }
    // Not the "no such property" of InvalidData: a list that is there but unreadable.
    if (Type != REG_MULTI_SZ && Type != REG_SZ) {
      return SysError::DatatypeMismatch;
    }
    const std::size_t Units = std::min<std::size_t>(Required / sizeof(wchar_t), Buffer.size());
    std::size_t Start = 0;
    while (Start < Units && Buffer[Start] != L'\0') {
      std::size_t End = Start;
      while (End < Units && Buffer[End] != L'\0') {
        ++End;
      }
      AStrings.push_back(FromWide(std::wstring_view(Buffer.data() + Start, End - Start)));
      Start = End + 1;
    }
    return SysError::Success;
  }

  uint32_t WriteStrings(uint32_t AIndex, TDeviceProperty AProperty,
                        const std::vector<std::string>& AStrings) override {
    SP_DEVINFO_DATA Data;
    if (!Node(AIndex, Data)) {
      return LastError();
    }
    std::wstring Value;
    for (const std::string& Text : AStrings) {
      if (Text.empty()) {
        break;
      }
      Value += ToWide(Text);
      Value += L'\0';
    }
    // The list's own terminator; an empty list is two of them.
    Value += L'\0';
    if (Value.size() == 1) {
      Value += L'\0';
    }
    const DWORD Bytes = static_cast<DWORD>(Value.size() * sizeof(wchar_t));
    if (!FLibrary->SetProperty(FList, &Data, static_cast<DWORD>(AProperty),
                               reinterpret_cast<const BYTE*>(Value.data()), Bytes)) {
      return LastError();
    }
    return SysError::Success;
  }

  bool ReadStatus(uint32_t AIndex, uint32_t& AStatus, uint32_t& AProblem) override {
    AStatus = 0;
    AProblem = 0;
    SP_DEVINFO_DATA Data;
    if (!FLibrary->GetStatus || !Node(AIndex, Data)) {
      return false;
    }
    ULONG Status = 0;
    ULONG Problem = 0;
    if (FLibrary->GetStatus(&Status, &Problem, Data.DevInst, 0) != CR_SUCCESS) {
      return false;
    }
    AStatus = Status;
    AProblem = Problem;
    return true;
  }

  uint32_t ChangeState(uint32_t AIndex, TDeviceStateChange AChange) override {
    SP_DEVINFO_DATA Data;
    if (!Node(AIndex, Data)) {
      return LastError();
    }
    SP_PROPCHANGE_PARAMS Params{};
    Params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    Params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    Params.StateChange = static_cast<DWORD>(AChange);
    // A restart acts on the running node of the current profile and stores nothing.
    Params.Scope =
        AChange == TDeviceStateChange::PropertyChange ? DICS_FLAG_CONFIGSPECIFIC : DICS_FLAG_GLOBAL;
    Params.HwProfile = 0;
    if (!FLibrary->SetClassInstallParams(FList, &Data, &Params.ClassInstallHeader,
                                         sizeof(Params))) {
      return LastError();
    }
    if (!FLibrary->CallClassInstaller(DIF_PROPERTYCHANGE, FList, &Data)) {
      return LastError();
    }
    SP_DEVINSTALL_PARAMS_W Install{};
    Install.cbSize = sizeof(Install);
    if (FLibrary->GetInstallParams(FList, &Data, &Install) &&
        (Install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0) {
      return SysError::RebootRequired;
    }
    return SysError::Success;
  }

private:
  bool Node(uint32_t AIndex, SP_DEVINFO_DATA& AData) {
    std::memset(&AData, 0, sizeof(AData));
    AData.cbSize = sizeof(AData);
    return FLibrary->EnumDeviceInfo(FList, AIndex, &AData) != FALSE;
  }

  std::shared_ptr<const TDeviceInstallation> FLibrary;
  HDEVINFO FList;
};

class TWin32DeviceSetup : public IDeviceSetup {
public:
  std::unique_ptr<IDeviceNodeList> OpenPresentNodes(const TGuid& AClass,
                                                    uint32_t& AError) override {
    if (!FLibrary->Usable()) {
      AError = SysError::InvalidHandle;
      return nullptr;
    }
    GUID Class;
    static_assert(sizeof(Class) == sizeof(AClass));
    std::memcpy(&Class, &AClass, sizeof(Class));
    const HDEVINFO List = FLibrary->GetClassDevs(&Class, nullptr, nullptr, DIGCF_PRESENT);
    if (List == INVALID_HANDLE_VALUE) {
      AError = LastError();
      return nullptr;
    }
    AError = SysError::Success;
    return std::make_unique<TWin32DeviceNodeList>(FLibrary, List);
  }

private:
  std::shared_ptr<const TDeviceInstallation> FLibrary = std::make_shared<TDeviceInstallation>();
};

} // namespace

std::unique_ptr<IDeviceSetup> CreateDeviceSetup() {
  return std::make_unique<TWin32DeviceSetup>();
}

} // namespace platform::win32
