// The virtual filter driver: its device object is present or absent; it keeps the last
// resolution table and current level it was sent, records every control exchange (the
// device-init data among them), answers the monitor's read code with the answers a test
// queues, and can be removed so that outstanding reads end. Device paths are compared without
// regard to case.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Driver.h"

namespace platform::sim {

struct TSimControl {
  uint32_t Code;
  std::vector<uint8_t> Bytes;
};

class TSimFilterDriver : public IDriverDevices {
public:
  TSimFilterDriver();
  ~TSimFilterDriver() override;
  std::unique_ptr<IDriverHandle> OpenDeviceObject(const std::string& APath, bool AOverlapped,
                                                  uint32_t& AError) override;

  static constexpr uint32_t cCpiUnitCode = 0x80008004;
  static constexpr uint32_t cSetCurrentCpiCode = 0x8000800C;

  void SetPresent(bool APresent);
  // The next open throws, as a backend does that runs out of memory or handles.
  void ThrowOnNextOpen();
  // The driver goes: outstanding reads end with AError (995 or 1167), later calls fail.
  void Remove(uint32_t AError = 1167);
  void SetDeviceName(const std::string& AName);
  void SetMonitorReadCode(uint32_t ACode);
  // Completes one monitor read with these bytes (an empty answer completes with 0 bytes).
  void QueueMonitorAnswer(std::vector<uint8_t> AAnswer);

  std::optional<std::vector<uint8_t>> LastCpiUnit() const;
  std::optional<uint16_t> LastCurrentCpi() const;
  // Every control call from the AFrom-th on.
  std::vector<TSimControl> Controls(std::size_t AFrom = 0) const;
  // The threads that issued the monitor reads, in order.
  std::vector<std::thread::id> ReadThreads() const;
  int WaitingReads() const;
  int OpenHandles() const;

  struct TState;

private:
  std::shared_ptr<TState> FState;
};

} // namespace platform::sim
