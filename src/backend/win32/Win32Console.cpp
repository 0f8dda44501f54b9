#include "backend/win32/Win32Console.h"

#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <streambuf>

#include "backend/win32/Win32Text.h"
#include "rtl/Utf.h"

namespace platform::win32 {

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> Arguments;
  int Count = 0;
  wchar_t** Words = CommandLineToArgvW(GetCommandLineW(), &Count);
  if (Words == nullptr) {
    return Arguments;
  }
  for (int I = 1; I < Count; ++I) {
    Arguments.push_back(FromWide(Words[I]));
  }
  LocalFree(Words);
  return Arguments;
}

namespace {

// Text gathered until the buffer fills or the stream is flushed (on a console, also until a
// line ends), then written whole characters at a time.
class TStandardBuffer : public std::streambuf {
public:
  explicit TStandardBuffer(HANDLE AHandle) : FHandle(AHandle) {
    DWORD Mode = 0;
    // A console answers for its mode; a file, a pipe or nothing at all does not.
    FConsole = AHandle != nullptr && AHandle != INVALID_HANDLE_VALUE &&
               GetConsoleMode(AHandle, &Mode) != 0;
    setp(FBuffer, FBuffer + sizeof(FBuffer));
  }
  ~TStandardBuffer() override { WriteOut(true); }
  TStandardBuffer(const TStandardBuffer&) = delete;
  TStandardBuffer& operator=(const TStandardBuffer&) = delete;

protected:
  int_type overflow(int_type ACharacter) override {
    WriteOut(false);
    if (!traits_type::eq_int_type(ACharacter, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ACharacter);
      pbump(1);
    }
    return traits_type::not_eof(ACharacter);
  }
  std::streamsize xsputn(const char* AText, std::streamsize ACount) override {
    for (std::streamsize Done = 0; Done < ACount;) {
      if (pptr() == epptr()) {
        WriteOut(false);
      }
      const std::streamsize Room = std::min<std::streamsize>(epptr() - pptr(), ACount - Done);
      std::copy(AText + Done, AText + Done + Room, pptr());
      pbump(static_cast<int>(Room));
      Done += Room;
    }
    // On a console both streams meet: each line shows when it is complete, in order.
    if (FConsole && std::find(AText, AText + ACount, '\n') != AText + ACount) {
      WriteOut(false);
    }
    return ACount;
  }
  int sync() override {
    WriteOut(false);
    return 0;
  }

private:
  // Writes what is gathered but an unfinished character at its end (unless AAll), which
  // moves to the front to wait for the rest of its bytes.
  void WriteOut(bool AAll) {
    const std::string_view Text(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    const std::size_t Kept = AAll ? 0 : rtl::UnfinishedUtf8Tail(Text);
    Write(Text.substr(0, Text.size() - Kept));
    std::copy(Text.end() - static_cast<std::ptrdiff_t>(Kept), Text.end(), FBuffer);
    setp(FBuffer, FBuffer + sizeof(FBuffer));
    pbump(static_cast<int>(Kept));
  }

  void Write(std::string_view AText) {
    if (AText.empty() || FHandle == nullptr || FHandle == INVALID_HANDLE_VALUE) {
      return;
    }
    if (FConsole) {
      const std::wstring Wide = ToWide(AText);
      // Consoles take large writes badly: a piece at a time.
      constexpr std::size_t cPiece = 8192;
      for (std::size_t At = 0; At < Wide.size(); At += cPiece) {
        const auto Count = static_cast<DWORD>(std::min(cPiece, Wide.size() - At));
        DWORD Written = 0;
        if (!WriteConsoleW(FHandle, Wide.data() + At, Count, &Written, nullptr)) {
          return;
        }
      }
      return;
    }
    while (!AText.empty()) {
      DWORD Written = 0;
      if (!WriteFile(FHandle, AText.data(), static_cast<DWORD>(AText.size()), &Written, nullptr) ||
          Written == 0) {
        return;
      }
      AText.remove_prefix(Written);
    }
  }

  HANDLE FHandle;
  bool FConsole = false;
  char FBuffer[4096];
};

class TStandardStreamImpl : public std::ostream {
public:
  explicit TStandardStreamImpl(HANDLE AHandle) : std::ostream(nullptr), FBuffer(AHandle) {
    rdbuf(&FBuffer);
  }
  ~TStandardStreamImpl() override { flush(); }

private:
  TStandardBuffer FBuffer;
};

} // namespace

std::unique_ptr<std::ostream> OpenStandardStream(TStandardStream AWhich) {
  return std::make_unique<TStandardStreamImpl>(
      GetStdHandle(AWhich == TStandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE));
}

} // namespace platform::win32
