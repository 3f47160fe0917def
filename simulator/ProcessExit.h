// How a simulated process ends. The simulator's Processes::ExitProcess throws
// this from whichever thread calls exit(); the runner of a simulated program
// catches it at the top of every thread it started. Once a process has ended,
// every further seam call made by one of its threads throws it again, so a
// worker that is still running stops at its next call into the machine.
#pragma once

namespace zmp::sim {

struct ProcessExit {
    int code = 0;
};

}  // namespace zmp::sim
