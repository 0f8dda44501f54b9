// The second process of the desktop tests (DesktopPeer.cpp): what it is asked to do and what
// its exit code says.
#pragma once

#include <cstdint>

namespace test {

// "mutex NAME": whether the named mutex exists.
inline constexpr int cPeerMutexAbsent = 0;
inline constexpr int cPeerMutexPresent = 1;
// "send CLASS VALUE": sends cPeerQuestion with wParam VALUE to the window of that class and
// exits with the answer (below 200), or with cPeerSendFailed plus the send's result, or with
// cPeerNoWindow when it found no window.
inline constexpr uint32_t cPeerQuestion = 0x0400 + 7;
inline constexpr int cPeerSendFailed = 200;
inline constexpr int cPeerNoWindow = 250;
// "ask CLASS VALUE": the same send, given up after cPeerAskTimeoutMs whatever the receiver's
// state (cPeerSendFailed), so that a receiver that does not answer cannot hold the peer.
inline constexpr uint32_t cPeerAskTimeoutMs = 10000;
// No arguments: leaves the file cPeerStartedFile in its working folder.
inline constexpr char cPeerStartedFile[] = "peer-started";
inline constexpr int cPeerBroken = 255;

} // namespace test
