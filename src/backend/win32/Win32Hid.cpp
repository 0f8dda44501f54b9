#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <hidsdi.h>
#include <hidpi.h>
#include <dbt.h>
// clang-format on

#include <cstddef>
#include <cstring>

#include "backend/win32/Win32Overlapped.h"
#include "backend/win32/Win32Platform.h"
#include "backend/win32/Win32SystemLibrary.h"
#include "backend/win32/Win32Text.h"
#include "platform/SysError.h"
#include "platform/WindowMessages.h"

namespace platform::win32 {

static_assert(sizeof(DEV_BROADCAST_HANDLE) == sizeof(TDevBroadcastHandle));
static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_handle) ==
              offsetof(TDevBroadcastHandle, dbch_handle));
static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify) ==
              offsetof(TDevBroadcastHandle, dbch_hdevnotify));
static_assert(DBT_DEVICEQUERYREMOVE == DBT_DEVICEQUERYREMOVE_VALUE &&
              DBT_DEVICEQUERYREMOVEFAILED == DBT_DEVICEQUERYREMOVEFAILED_VALUE &&
              DBT_DEVICEREMOVEPENDING == DBT_DEVICEREMOVEPENDING_VALUE &&
              DBT_DEVTYP_HANDLE == DBT_DEVTYP_HANDLE_VALUE &&
              BROADCAST_QUERY_DENY == BROADCAST_QUERY_DENY_VALUE);

namespace {

// The two libraries are bound at run time, from the system folder only.
struct TSetupApi {
  HMODULE Module = LoadSystemLibrary(L"setupapi.dll");
  decltype(&SetupDiGetClassDevsW) GetClassDevs =
      Resolve<decltype(GetClassDevs)>(Module, "SetupDiGetClassDevsW");
  decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces =
      Resolve<decltype(EnumDeviceInterfaces)>(Module, "SetupDiEnumDeviceInterfaces");
  decltype(&SetupDiGetDeviceInterfaceDetailW) GetDeviceInterfaceDetail =
      Resolve<decltype(GetDeviceInterfaceDetail)>(Module, "SetupDiGetDeviceInterfaceDetailW");
  decltype(&SetupDiGetDeviceRegistryPropertyW) GetDeviceRegistryProperty =
      Resolve<decltype(GetDeviceRegistryProperty)>(Module, "SetupDiGetDeviceRegistryPropertyW");
  decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList =
      Resolve<decltype(DestroyDeviceInfoList)>(Module, "SetupDiDestroyDeviceInfoList");
  bool Usable() const {
    return GetClassDevs && EnumDeviceInterfaces && GetDeviceInterfaceDetail &&
           GetDeviceRegistryProperty && DestroyDeviceInfoList;
  }
  ~TSetupApi() {
    if (Module != nullptr) {
      FreeLibrary(Module);
    }
  }
};

struct THidLibrary {
  HMODULE Module = LoadSystemLibrary(L"hid.dll");
  decltype(&HidD_GetHidGuid) GetHidGuid = Resolve<decltype(GetHidGuid)>(Module, "HidD_GetHidGuid");
  decltype(&HidD_GetAttributes) GetAttributes =
      Resolve<decltype(GetAttributes)>(Module, "HidD_GetAttributes");
  decltype(&HidD_GetPreparsedData) GetPreparsedData =
      Resolve<decltype(GetPreparsedData)>(Module, "HidD_GetPreparsedData");
  decltype(&HidD_FreePreparsedData) FreePreparsedData =
      Resolve<decltype(FreePreparsedData)>(Module, "HidD_FreePreparsedData");
  decltype(&HidP_GetCaps) GetCaps = Resolve<decltype(GetCaps)>(Module, "HidP_GetCaps");
  decltype(&HidD_GetFeature) GetFeature = Resolve<decltype(GetFeature)>(Module, "HidD_GetFeature");
  decltype(&HidD_SetFeature) SetFeature = Resolve<decltype(SetFeature)>(Module, "HidD_SetFeature");
  decltype(&HidP_MaxUsageListLength) MaxUsageListLength =
      Resolve<decltype(MaxUsageListLength)>(Module, "HidP_MaxUsageListLength");
  decltype(&HidP_GetUsagesEx) GetUsagesEx =
      Resolve<decltype(GetUsagesEx)>(Module, "HidP_GetUsagesEx");
  decltype(&HidD_SetNumInputBuffers) SetNumInputBuffers =
      Resolve<decltype(SetNumInputBuffers)>(Module, "HidD_SetNumInputBuffers");
  ~THidLibrary() {
    if (Module != nullptr) {
      FreeLibrary(Module);
    }
  }
};

constexpr DWORD cPropertyBufferSize = 32768;

std::vector<std::string> MultiString(const wchar_t* AText, std::size_t AUnits) {
  std::vector<std::string> Strings;
  std::size_t Start = 0;
  while (Start < AUnits && AText[Start] != L'\0') {
    std::size_t End = Start;
    while (End < AUnits && AText[End] != L'\0') {
      ++End;
    }
    Strings.push_back(FromWide(std::wstring_view(AText + Start, End - Start)));
    Start = End + 1;
  }
  return Strings;
}

uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}

class TWin32HidDevice : public IHidDevice {
public:
  TWin32HidDevice(const THidLibrary& ALibrary, HANDLE AHandle, bool AOverlapped)
      : FLibrary(ALibrary), FHandle(AHandle), FOverlapped(AOverlapped),
        FStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  ~TWin32HidDevice() override {
    if (FPreparsed != nullptr && FLibrary.FreePreparsedData) {
      FLibrary.FreePreparsedData(FPreparsed);
    }
    CloseHandle(FHandle);
    CloseHandle(FStopEvent);
  }

  uint32_t HandleValue() override {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(FHandle));
  }
  HANDLE Handle() const { return FHandle; }

  bool SetInputBufferCount(uint32_t ACount) override {
    return FLibrary.SetNumInputBuffers && ACount >= cMinInputBuffers &&
           ACount <= cMaxInputBuffers && FLibrary.SetNumInputBuffers(FHandle, ACount) != FALSE;
  }

  bool GetAttributes(THidAttributes& AAttributes) override {
    if (!FLibrary.GetAttributes) {
      return false;
    }
    HIDD_ATTRIBUTES Attributes{};
    Attributes.Size = sizeof(Attributes);
    if (!FLibrary.GetAttributes(FHandle, &Attributes)) {
      return false;
    }
    AAttributes = {Attributes.VendorID, Attributes.ProductID, Attributes.VersionNumber};
    return true;
  }

  bool GetCaps(THidCaps& ACaps) override {
    if (!Preparsed() || !FLibrary.GetCaps) {
      return false;
    }
    HIDP_CAPS Caps{};
    if (FLibrary.GetCaps(FPreparsed, &Caps) != HIDP_STATUS_SUCCESS) {
      return false;
    }
    ACaps = {Caps.Usage, Caps.UsagePage, Caps.InputReportByteLength, Caps.OutputReportByteLength,
             Caps.FeatureReportByteLength};
    return true;
  }

  uint32_t GetFeature(uint8_t* ABuffer, uint32_t ALength) override {
    if (!FLibrary.GetFeature) {
      return SysError::InvalidHandle;
    }
    SetLastError(0);
    return FLibrary.GetFeature(FHandle, ABuffer, ALength) ? SysError::Success : LastError();
  }

  uint32_t SetFeature(const uint8_t* ABuffer, uint32_t ALength) override {
    if (!FLibrary.SetFeature) {
      return SysError::InvalidHandle;
    }
    SetLastError(0);
    return FLibrary.SetFeature(FHandle, const_cast<uint8_t*>(ABuffer), ALength) ? SysError::Success
                                                                                : LastError();
  }

  uint32_t Write(const uint8_t* ABuffer, uint32_t ALength) override {
    SetLastError(0);
    DWORD Written = 0;
    if (!FOverlapped) {
      return WriteFile(FHandle, ABuffer, ALength, &Written, nullptr) ? SysError::Success
                                                                     : LastError();
    }
    // A write is not stopped; it has a stop event of its own, as a read may wait beside it.
    const rtl::TManualResetEvent NeverStopped;
    const HANDLE WriteStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const TOverlappedOutcome Outcome = RunOverlapped(
        FHandle, WriteStop, NeverStopped, ALength, ABuffer, ALength, nullptr, 0,
        [&](TOverlappedCall& ACall) {
          return WriteFile(FHandle, ACall.Data.data(), ALength, nullptr, &ACall.Record);
        });
    if (WriteStop != nullptr) {
      CloseHandle(WriteStop);
    }
    return Outcome.Error;
  }

  THidReadResult ReadReport(uint8_t* ABuffer, uint32_t ALength,
                            const rtl::TManualResetEvent& AStop) override {
    // The read's completion and the stop, together: no polling while the mouse is idle.
    const TOverlappedOutcome Outcome = RunOverlapped(
        FHandle, FStopEvent, AStop, ALength, nullptr, 0, ABuffer, ALength,
        [&](TOverlappedCall& ACall) {
          return ReadFile(FHandle, ACall.Data.data(), ALength, nullptr, &ACall.Record);
        });
    THidReadResult Result;
    Result.Error = Outcome.Error;
    Result.BytesRead = Outcome.Bytes;
    Result.Stopped = Outcome.Stopped;
    Result.StartFailed = Outcome.StartFailed;
    return Result;
  }

  uint32_t MaxUsageListLength() override {
    if (!Preparsed() || !FLibrary.MaxUsageListLength) {
      return 0;
    }
    return FLibrary.MaxUsageListLength(HidP_Input, 0, FPreparsed);
  }

  bool GetUsages(const uint8_t* AReport, uint32_t ALength, std::vector<THidUsageAndPage>& AUsages,
                 uint32_t AMaxUsages) override {
    AUsages.clear();
    if (!Preparsed() || !FLibrary.GetUsagesEx) {
      return false;
    }
    std::vector<USAGE_AND_PAGE> List(AMaxUsages);
    ULONG Length = AMaxUsages;
    if (FLibrary.GetUsagesEx(HidP_Input, 0, List.data(), &Length, FPreparsed,
                             reinterpret_cast<PCHAR>(const_cast<uint8_t*>(AReport)),
                             ALength) != HIDP_STATUS_SUCCESS) {
      return false;
    }
    for (ULONG I = 0; I < Length && I < AMaxUsages; ++I) {
      AUsages.push_back({List[I].Usage, List[I].UsagePage});
    }
    return true;
  }

private:
  bool Preparsed() {
    if (FPreparsed == nullptr && FLibrary.GetPreparsedData) {
      if (!FLibrary.GetPreparsedData(FHandle, &FPreparsed)) {
        FPreparsed = nullptr;
      }
    }
    return FPreparsed != nullptr;
  }

  const THidLibrary& FLibrary;
  HANDLE FHandle;
  bool FOverlapped;
  HANDLE FStopEvent;
  PHIDP_PREPARSED_DATA FPreparsed = nullptr;
};

class TWin32Hid : public IHid {
public:
  TGuid HidGuid() override {
    if (!FHid.GetHidGuid) {
      return cHidInterfaceClass;
    }
    GUID Guid{};
    FHid.GetHidGuid(&Guid);
    TGuid Result{};
    std::memcpy(&Result, &Guid, sizeof(Result));
    return Result;
  }

  std::vector<THidInterfaceInfo> EnumerateInterfaces(const TGuid& AClass) override {
    std::vector<THidInterfaceInfo> Interfaces;
    if (!FSetupApi.Usable()) {
      return Interfaces;
    }
    GUID Class{};
    std::memcpy(&Class, &AClass, sizeof(Class));
    const HDEVINFO Set =
        FSetupApi.GetClassDevs(&Class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (Set == INVALID_HANDLE_VALUE) {
      return Interfaces;
    }
    std::vector<wchar_t> Property(cPropertyBufferSize / sizeof(wchar_t));
    for (DWORD Index = 0;; ++Index) {
      SP_DEVICE_INTERFACE_DATA Interface{};
      Interface.cbSize = sizeof(Interface);
      if (!FSetupApi.EnumDeviceInterfaces(Set, nullptr, &Class, Index, &Interface)) {
        break;
      }
      SP_DEVINFO_DATA Device{};
      Device.cbSize = sizeof(Device);
      DWORD Required = 0;
      const BOOL Sized =
          FSetupApi.GetDeviceInterfaceDetail(Set, &Interface, nullptr, 0, &Required, &Device);
      const DWORD SizeError = GetLastError();
      if (Sized || Required == 0 || SizeError != ERROR_INSUFFICIENT_BUFFER) {
        continue;
      }
      std::vector<uint8_t> Buffer(Required + sizeof(wchar_t), 0);
      auto* Detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(Buffer.data());
      Detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      if (!FSetupApi.GetDeviceInterfaceDetail(Set, &Interface, Detail, Required, nullptr,
                                              &Device)) {
        continue;
      }
      std::fill(Property.begin(), Property.end(), L'\0');
      FSetupApi.GetDeviceRegistryProperty(Set, &Device, SPDRP_HARDWAREID, nullptr,
                                          reinterpret_cast<PBYTE>(Property.data()),
                                          cPropertyBufferSize - sizeof(wchar_t) * 2, nullptr);
      Interfaces.push_back(
          {FromWide(Detail->DevicePath), MultiString(Property.data(), Property.size())});
    }
    FSetupApi.DestroyDeviceInfoList(Set);
    return Interfaces;
  }

  std::unique_ptr<IHidDevice> Open(const std::string& APath, bool AOverlapped,
                                   uint32_t& AError) override {
    const HANDLE Handle = CreateFileW(ToWide(APath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      AOverlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
      AError = LastError();
      return nullptr;
    }
    AError = SysError::Success;
    return std::make_unique<TWin32HidDevice>(FHid, Handle, AOverlapped);
  }

  uintptr_t RegisterRemovalNotification(uintptr_t AWindow, IHidDevice& ADevice) override {
    DEV_BROADCAST_HANDLE Filter{};
    Filter.dbch_size = sizeof(Filter);
    Filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    Filter.dbch_handle = static_cast<TWin32HidDevice&>(ADevice).Handle();
    return reinterpret_cast<uintptr_t>(RegisterDeviceNotificationW(
        reinterpret_cast<HWND>(AWindow), &Filter, DEVICE_NOTIFY_WINDOW_HANDLE));
  }

  void UnregisterRemovalNotification(uintptr_t ARegistration) override {
    if (ARegistration != 0) {
      UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(ARegistration));
    }
  }

private:
  TSetupApi FSetupApi;
  THidLibrary FHid;
};

} // namespace

std::unique_ptr<IHid> CreateHid() {
  return std::make_unique<TWin32Hid>();
}

} // namespace platform::win32
