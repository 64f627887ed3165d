#pragma once

// Keeps the master key out of reach of other processes of the same user and
// out of core dumps: the process cannot be dumped or traced, and writes no
// core file. Does nothing where the platform offers no such switch.
void protectProcessMemory();
