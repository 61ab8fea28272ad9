// Conversion of received CAN packets into samples, live values and board
// status (process A).
#pragma once

#include <cstdint>

// Consumes at most one pending entry of the receive ring, converts it and
// ages the board status by call count.
void CanSample2Value();
// Infrared surface temperature in 0.01 deg C from the thermistor and the
// thermopile readings; 99999 when the readings give no temperature.
int DisposeInfraredData(float thermistor, float thermopile);
// Back to the state of process start (call counter, pending thermopile
// reading). For tests and start-up.
void CanSample2ValueReset();
