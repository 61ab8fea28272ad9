// Configuration download to the sampling boards: the serial sampling board
// gets its fixed configuration text and is switched to extended output; the
// CAN sub-collectors get their QC limits, coefficients, calibration
// corrections and rain thresholds as SDO requests.
#pragma once

#include "canbus/SubCollectorPara.h"

// Requests of one full download with the current format generation.
constexpr int SUBCOLLECTOR_SDO_COUNT = 113;

// Start-up reset of the sub-collector receive state.
int SlaveColletorParaInit();
// The CAN download at start (nothing with format generation 0).
int SyncParaToSubCollector();
// The CAN download with the given pause after each request, in
// microseconds. Returns the number of requests sent (0 with generation 0).
int SendSubCollectorPara(int pauseUs);
// Serial board download: 0 on success, -1 when the board never accepted
// the configuration.
int SampBoardInit();
// Reads one reply of the serial board: 0 "PARADOWN OK!", 1 "EXTOUTPUT OK!",
// -1 anything else (or nothing within 1 s).
int CheckSampBoardInit();
