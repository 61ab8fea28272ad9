// Parameters of the redundant-sensor sub-collectors on the CAN bus: the TAIR
// unit (node 0x10, T01-T03) and the RAIN unit (node 0x11, RAT1-RAT3) keep
// their own copy of the sensors' QC limits, coefficients, calibration
// corrections and rain thresholds. Each routine here writes one sensor's (or
// one threshold's) current values from the parameter record as SDO requests;
// the start-up download sends them all, the remote parameter commands only
// what they changed. Nothing is acknowledged or retried.
#pragma once

#include <cstdint>

constexpr unsigned char SUBCOLLECTOR_TAIR = 0x10;   // T01, T02, T03
constexpr unsigned char SUBCOLLECTOR_RAIN = 0x11;   // RAT1, RAT2, RAT3
constexpr int RAIN_THRESHOLDS = 5;

// Where a redundant sensor sits: its node, its sensor number (the SDO
// subindex, 1 to 3) and its block of the RSENCO coefficients.
struct SubCollectorSensor {
    unsigned char node;
    unsigned char subindex;
    int block;
};
// False for an element that is not one of T01-T03, RAT1-RAT3.
bool FindSubCollectorSensor(int element, SubCollectorSensor &s);

// A scaled parameter as the 16-bit word the units take: truncated toward
// zero, kept within 32 bits first, then cut to 16 bits.
int16_t SdoWord(double scaled);

// Each returns the number of requests sent and pauses pauseUs after each.
// QC limits (3 sample, 5 minute values) and RSENCO coefficients (4) of the
// element's sensor; nothing for an element without one.
int SendQcpsToSubCollector(int element, int pauseUs);
int SendQcpmToSubCollector(int element, int pauseUs);
int SendRSencoToSubCollector(int element, int pauseUs);
// The six calibration pairs of correction table index 15, 16 or 17 (T01 to
// T03, on the TAIR unit); nothing for another index.
int SendScvToSubCollector(int scvIndex, int pauseUs);
// Rain threshold k (0 to 4) of the parameter record.
int SendRainThToSubCollector(int k, int pauseUs);
