// Port enumeration: whether a port number can be used, and its display name.
#pragma once
#include <cstdint>
#include <string>

// Process-wide switches of ProbePort, both true at start; set on the main thread.
// ProbeThroughDispatcher: probe through a temporary device-layer dispatcher, else with direct
// system calls. CountPortsInUse: a port that exists counts even when another program holds it,
// else only a port that can be opened now.
extern bool ProbeThroughDispatcher;
extern bool CountPortsInUse;

// Port 0 is never available; no upper bound is checked.
bool ProbePort(int32_t ComNumber);
// "COM" and the number in decimal.
std::wstring MakeComName(uint16_t ComNumber);

// The direct probe of one build (port_probe_win.cpp, port_probe_host.cpp).
bool ProbePortDirect(int32_t ComNumber, bool CountInUse);
