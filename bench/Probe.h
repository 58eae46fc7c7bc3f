// What the measuring process reads of itself: the reading thread's CPU time
// and page faults, its resident memory and the high-water mark of it, and
// the cost of a page fault. ProbeLinux.cpp reads them from Linux; so does
// ProbeWine.cpp, for the Windows build run under Wine, whose own thread
// times tick in 10 ms steps and which counts no page faults.
#pragma once

// CPU time of the calling thread, in milliseconds.
double CpuMs();

// Page faults the calling thread has taken so far.
long Faults();

// Resident memory now, and the high-water mark of it, in KiB; -1 when unknown.
long ResidentKiB();
long PeakResidentKiB();

// Restarts the high-water mark from the resident memory now.
void ResetPeak();

// Microseconds per first touch of a fresh 4 KiB page (the best of three
// rounds over 64 MiB); negative when the memory cannot be had.
double FaultCostUs();
