// Input reports of any bytes reaching the monitor: through the virtual mouse to its reader
// (and to a reader that also parses the buttons), straight to the monitor's report handler
// with any identifier and size, and time passing for the timers they start. What the monitor
// posts to itself is handled after each step, so a report's action runs too.
//
// Input: steps of a kind byte and its bytes. Kind % 3: 0 a report of (next byte) bytes
// handed to the monitor's handler as it is (first byte the identifier); 1 a report of
// (next byte % 16 + 1) bytes from the virtual mouse; 2 (next byte * 10) ms of virtual time.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Bench.h"
#include "FuzzInput.h"
#include "app/MouseMonitor.h"
#include "backend/sim/SimMouseFirmware.h"
#include "backend/sim/SimWorld.h"
#include "lang/Translation.h"
#include "profile/DMUnit.h"

namespace {

const std::string cMousePath = "\\\\?\\hid#vid_1234&pid_5678&mi_01#7&1&0000#{4d1e55b2}";
constexpr int cMaxSteps = 64;
// The simulated world records what the monitor does (debugger lines, driver controls): a
// fresh one now and then keeps a long campaign's memory flat.
constexpr int cInputsPerWorld = 2000;

class TMonitorBench {
public:
  TMonitorBench() {
    FWorld.Hid.Plug(platform::sim::VirtualMouseInterface(cMousePath));
    FModule = std::make_unique<profile::TDM>(
        nullptr, profile::TDMServices{FWorld.Registry, FWorld.Files, FWorld.Environment,
                                      FWorld.Clock, FWorld.Locale, FWorld.Dialogs});
    FMain = std::make_unique<app::TTARNMONMAIN>(FWorld.Platform());
    FParsing = std::make_unique<hid::TuiHIDData>(
        nullptr, hid::THidServices{FWorld.Hid, FWorld.Desktop, FWorld.Desktop, FWorld.Files,
                                   FWorld.Environment, FWorld.Dialogs});
    FParsing->SetFastOnData(true);
    FParsing->SetOnData(
        [](const std::string&, const std::string&, uint8_t, const void* AData, uint16_t ASize) {
          // The payload is as long as it says.
          const auto* Bytes = static_cast<const uint8_t*>(AData);
          volatile uint8_t Sum = 0;
          for (uint16_t I = 0; I < ASize; ++I) {
            Sum = static_cast<uint8_t>(Sum + Bytes[I]);
          }
        });
    FParsing->SetOnParsedData([](const std::string&, const std::string&, uint8_t, uint32_t) {});
    // The arrival check finds the mouse and starts the monitor's reader.
    FWorld.Desktop.Advance(2 * app::cDeviceArrialIntervalMs);
  }
  ~TMonitorBench() {
    FParsing.reset();
    FMain.reset();
    FModule.reset();
    lang::RemoveTranslationTable();
  }

  void Run(fuzz::TFuzzInput& AInput) {
    for (int Step = 0; Step < cMaxSteps && !AInput.Empty(); ++Step) {
      switch (AInput.Byte() % 3) {
      case 0: {
        const std::vector<uint8_t> Report = AInput.Bytes(AInput.Byte());
        const uint8_t ReportID = Report.empty() ? 0 : Report[0];
        const std::size_t Size = Report.empty() ? 0 : Report.size() - 1;
        // A buffer of exactly the payload's size.
        const auto Payload = std::make_unique<uint8_t[]>(Size);
        std::copy(Report.begin() + (Report.empty() ? 0 : 1), Report.end(), Payload.get());
        FMain->uiHIDData1Data("", cMousePath, ReportID, Payload.get(), static_cast<uint16_t>(Size));
        break;
      }
      case 1: {
        std::vector<uint8_t> Report = AInput.Bytes(AInput.Byte() % 16 + 1);
        if (Report.empty()) {
          Report.push_back(0);
        }
        Deliver(Report);
        break;
      }
      default:
        FWorld.Desktop.Advance(AInput.Byte() * 10u);
        break;
      }
      FWorld.Desktop.ProcessMessages();
    }
  }

private:
  // Injects a report and waits until every reader has taken it and is reading again. The
  // monitor's restart of its reading stops every reader of the process, the parsing one
  // too: that one is started again first.
  void Deliver(const std::vector<uint8_t>& AReport) {
    if (FParsing->RunningReaders() == 0) {
      FParsing->HidFindAndReadDevice(hid::cVendorUsageAndPage, "");
    }
    const auto Running = [&] {
      return FParsing->RunningReaders() + FMain->HIDData().RunningReaders();
    };
    PumpUntil([&] { return FWorld.Hid.WaitingReads(cMousePath) == Running(); });
    const uint64_t Taken = FWorld.Hid.ReportsTaken(cMousePath);
    FWorld.Hid.InjectInputReport(cMousePath, AReport);
    PumpUntil([&] {
      return FWorld.Hid.ReportsTaken(cMousePath) > Taken &&
             FWorld.Hid.UnreadReports(cMousePath) == 0 &&
             FWorld.Hid.WaitingReads(cMousePath) == Running();
    });
  }
  template <class TCondition> void PumpUntil(TCondition ACondition) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ACondition() && std::chrono::steady_clock::now() < Deadline) {
      FWorld.Desktop.WaitAndProcess(1);
    }
  }

  platform::sim::TSimWorld FWorld;
  platform::sim::TSimMouseFirmware FFirmware{FWorld.Hid};
  std::unique_ptr<profile::TDM> FModule;
  std::unique_ptr<app::TTARNMONMAIN> FMain;
  std::unique_ptr<hid::TuiHIDData> FParsing;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  fuzz::TFuzzInput Input(AData, ASize);
  fuzz::Bench<TMonitorBench>(cInputsPerWorld).Run(Input);
  return 0;
}
