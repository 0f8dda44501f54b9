#include "backend/sim/SimDriver.h"
#include "backend/sim/SimRecord.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/SysError.h"
#include "rtl/Component.h"
#include "rtl/Mutex.h"

namespace platform::sim {

struct TSimFilterDriver::TState {
  rtl::TMutex Lock;
  std::condition_variable Changed;
  bool Present = true;
  uint64_t Generation = 0; // a removal ends the handles opened before it
  uint32_t RemovalError = SysError::DeviceNotConnected;
  std::string DevicePath = "\\\\.\\usbkmfx00001";
  uint32_t MonitorReadCode = 0;
  std::deque<std::vector<uint8_t>> Answers;
  std::optional<std::vector<uint8_t>> CpiUnit;
  std::optional<uint16_t> CurrentCpi;
  std::vector<TSimControl> Controls;
  std::vector<std::thread::id> ReadThreads;
  int Waiting = 0;
  int Handles = 0;
  bool ThrowOnOpen = false;
};

namespace {

class TSimDriverHandle : public IDriverHandle {
public:
  TSimDriverHandle(std::shared_ptr<TSimFilterDriver::TState> AState)
      : FState(std::move(AState)), FGeneration(FState->Generation) {
    ++FState->Handles;
  }
  ~TSimDriverHandle() override {
    rtl::TLockGuard Guard(FState->Lock);
    --FState->Handles;
  }

  uint32_t Control(uint32_t ACode, void* ABuffer, uint32_t ACount,
                   uint32_t& ABytesReturned) override {
    rtl::TLockGuard Guard(FState->Lock);
    ABytesReturned = 0;
    if (Gone()) {
      return FState->RemovalError;
    }
    const auto* Bytes = static_cast<const uint8_t*>(ABuffer);
    std::vector<uint8_t> Copy(Bytes, Bytes + ACount);
    FState->Controls.push_back({ACode, Copy});
    if (ACode == TSimFilterDriver::cCpiUnitCode) {
      FState->CpiUnit = Copy;
    } else if (ACode == TSimFilterDriver::cSetCurrentCpiCode && ACount >= 2) {
      FState->CurrentCpi = static_cast<uint16_t>(Copy[0] | Copy[1] << 8);
    }
    ABytesReturned = ACount;
    return SysError::Success;
  }

  TControlReadResult ControlRead(uint32_t ACode, const void* AIn, uint32_t AInSize, void* AOut,
                                 uint32_t AOutSize, const rtl::TManualResetEvent& AStop) override {
    (void)AIn;
    (void)AInSize;
    auto& Stop = const_cast<rtl::TManualResetEvent&>(AStop);
    const int Token = Stop.AddSetListener([this] {
      rtl::TLockGuard Guard(FState->Lock);
      FState->Changed.notify_all();
    });
    TControlReadResult Result;
    {
      rtl::TUniqueLock Guard(FState->Lock);
      FState->ReadThreads.push_back(std::this_thread::get_id());
      if (Gone()) {
        Result.Error = FState->RemovalError;
      } else if (ACode != FState->MonitorReadCode) {
        Result.Error = SysError::InvalidParameter;
      } else {
        ++FState->Waiting;
        while (!AStop.IsSet() && !FCancelled && !Gone() && FState->Answers.empty()) {
          Guard.Wait(FState->Changed);
        }
        --FState->Waiting;
        if (AStop.IsSet() || FCancelled) {
          Result.Stopped = AStop.IsSet();
          Result.Error = SysError::OperationAborted;
        } else if (Gone()) {
          Result.Error = FState->RemovalError;
        } else {
          const std::vector<uint8_t> Answer = std::move(FState->Answers.front());
          FState->Answers.pop_front();
          Result.BytesReturned =
              static_cast<uint32_t>(std::min<std::size_t>(Answer.size(), AOutSize));
          if (Result.BytesReturned > 0) {
            std::memcpy(AOut, Answer.data(), Result.BytesReturned);
          }
        }
        FCancelled = false;
      }
    }
    Stop.RemoveSetListener(Token);
    return Result;
  }

  void Cancel() override {
    rtl::TLockGuard Guard(FState->Lock);
    FCancelled = FState->Waiting > 0;
    FState->Changed.notify_all();
  }

private:
  bool Gone() const { return !FState->Present || FState->Generation != FGeneration; }

  std::shared_ptr<TSimFilterDriver::TState> FState;
  uint64_t FGeneration;
  bool FCancelled = false;
};

} // namespace

TSimFilterDriver::TSimFilterDriver() : FState(std::make_shared<TState>()) {}
TSimFilterDriver::~TSimFilterDriver() = default;

std::unique_ptr<IDriverHandle>
TSimFilterDriver::OpenDeviceObject(const std::string& APath, bool AOverlapped, uint32_t& AError) {
  (void)AOverlapped;
  rtl::TLockGuard Guard(FState->Lock);
  if (FState->ThrowOnOpen) {
    FState->ThrowOnOpen = false;
    throw std::runtime_error("the driver's device object could not be opened");
  }
  if (!FState->Present || !rtl::SameText(APath, FState->DevicePath)) {
    AError = SysError::FileNotFound;
    return nullptr;
  }
  AError = SysError::Success;
  return std::make_unique<TSimDriverHandle>(FState);
}

void TSimFilterDriver::ThrowOnNextOpen() {
  rtl::TLockGuard Guard(FState->Lock);
  FState->ThrowOnOpen = true;
}

void TSimFilterDriver::SetPresent(bool APresent) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Present = APresent;
  FState->Changed.notify_all();
}

void TSimFilterDriver::Remove(uint32_t AError) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Present = false;
  FState->RemovalError = AError;
  ++FState->Generation;
  FState->Changed.notify_all();
}

void TSimFilterDriver::SetDeviceName(const std::string& AName) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->DevicePath = "\\\\.\\" + AName;
}

void TSimFilterDriver::SetMonitorReadCode(uint32_t ACode) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->MonitorReadCode = ACode;
}

void TSimFilterDriver::QueueMonitorAnswer(std::vector<uint8_t> AAnswer) {
  rtl::TLockGuard Guard(FState->Lock);
  FState->Answers.push_back(std::move(AAnswer));
  FState->Changed.notify_all();
}

std::optional<std::vector<uint8_t>> TSimFilterDriver::LastCpiUnit() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->CpiUnit;
}

std::optional<uint16_t> TSimFilterDriver::LastCurrentCpi() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->CurrentCpi;
}

std::vector<TSimControl> TSimFilterDriver::Controls(std::size_t AFrom) const {
  rtl::TLockGuard Guard(FState->Lock);
  return RecordFrom(FState->Controls, AFrom);
}

std::vector<std::thread::id> TSimFilterDriver::ReadThreads() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->ReadThreads;
}

int TSimFilterDriver::WaitingReads() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Waiting;
}

int TSimFilterDriver::OpenHandles() const {
  rtl::TLockGuard Guard(FState->Lock);
  return FState->Handles;
}

} // namespace platform::sim
