// The exit codes of the hook load probe (HookLoadProbe.cpp), which the hook tests start.
#pragma once

namespace test {

enum THookLoadProbeResult : int {
  cProbeLoadedBesideTheProgram = 0,
  cProbeNotFound = 1, // and the missing library was reported
  cProbeLoadedFromElsewhere = 2,
  cProbeBroken = 3,
};

} // namespace test
