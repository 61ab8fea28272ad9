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

// The two rain counters of the main sampling board: the tipping bucket
// (RAT) and the second counter (RAT1_C).
enum RainCounter { RAIN_COUNTER_1, RAIN_COUNTER_2 };
// Adds the rain of n counter pulses (SENCO coefficients of the counter) to
// the minute's sum of that counter, checks the sum and publishes it.
void AddRainCount(int n, RainCounter which);
// Wind speed in m/s of a pulse count with SENCO row sencoRow (0 WS, 1 WS1):
// k0 + k1 n + k2^2 n + k3^3 n; no pulses is calm whatever k0 says.
float WindSpeed(int n, int sencoRow);
