// Control exports of the simulated wnaspi32.dll, for the tests and the demo that load it.
// Bind them by name with GetProcAddress; the typedefs below are their pointer types.
// The ASPI entry points themselves are ordinals 1 (GetASPI32SupportInfo) and 2
// (SendASPI32Command).
#pragma once

#include <cstdint>

#include "../SimRecords.h"

#if defined(_WIN32) && !defined(_WIN64)
#define SIM_CALL __cdecl
#else
#define SIM_CALL
#endif

extern "C" {
// Replaces the whole configuration with the scenario text and clears the log. Requests
// still pending complete with SS_ABORTED, kept ones included. 1 ok; 0 on a parse error,
// which changes nothing (SimLastError says why).
int SIM_CALL SimConfigure(const char* scenarioText);
// The reason of the last failed configuration, "" after a successful one.
const char* SIM_CALL SimLastError(void);
int SIM_CALL SimRequestCount(void);
// 1 ok, 0 when index is out of range.
int SIM_CALL SimGetRequest(int index, SimRequestRecord* out);
// Copies the data-out bytes the drive took (at submission; at completion under
// "data-out at-completion" and for paused requests); returns the number copied.
uint32_t SIM_CALL SimGetDataOut(int index, uint8_t* dst, uint32_t capacity);
void SIM_CALL SimClearLog(void);
// Requests accepted and not yet completed.
int SIM_CALL SimPendingCount(void);
// Completes every kept request with SS_ABORTED and signals its event.
void SIM_CALL SimReleaseHeld(void);
// Lets every paused request go: its command runs now and completes with its real result.
void SIM_CALL SimResume(void);
// 1 with the device's state, 0 when no device is at that address.
int SIM_CALL SimGetDeviceInfo(int adapter, int target, SimDeviceInfo* out);
}

typedef uint32_t(SIM_CALL* SimGetSupportInfoFn)(void);
typedef uint32_t(SIM_CALL* SimSendCommandFn)(void* request);
typedef int(SIM_CALL* SimConfigureFn)(const char* scenarioText);
typedef const char*(SIM_CALL* SimLastErrorFn)(void);
typedef int(SIM_CALL* SimRequestCountFn)(void);
typedef int(SIM_CALL* SimGetRequestFn)(int index, SimRequestRecord* out);
typedef uint32_t(SIM_CALL* SimGetDataOutFn)(int index, uint8_t* dst, uint32_t capacity);
typedef void(SIM_CALL* SimClearLogFn)(void);
typedef int(SIM_CALL* SimPendingCountFn)(void);
typedef void(SIM_CALL* SimReleaseHeldFn)(void);
typedef void(SIM_CALL* SimResumeFn)(void);
typedef int(SIM_CALL* SimGetDeviceInfoFn)(int adapter, int target, SimDeviceInfo* out);
