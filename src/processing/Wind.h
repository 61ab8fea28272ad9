// Wind of the minute for the mechanical and the ultrasonic sensor: 3-second
// running means, 1-, 2- and 10-minute means and vector mean directions, the
// minute's extreme wind, the hour's maximum and extreme wind; and the choice
// of the sensor that fills fields 0-5 of the main minute record.
#pragma once

#include <cstdint>
#include <ctime>

#include "processing/Statistic.h"
#include "sampling/SampleStore.h"

// Fields 0-5 of the main minute record: 2-minute mean direction, 2-minute
// mean speed, 10-minute mean direction, 10-minute mean speed, extreme
// direction, extreme speed (degrees, 0.1 m/s).
constexpr int WIND_FIELDS = 6;
struct WindFieldsRec {
    int32_t Value[WIND_FIELDS];
    char Qc[WIND_FIELDS];
    char Flag[WIND_FIELDS];   // '1' present
};

#pragma pack(push, 1)
// Comparison area of both sensors (fields 0-3 of each) and the source used,
// as the minute records keep it for the sample archive line.
struct WindCompareRec {
    int32_t Value[2][4];      // [0] mechanical, [1] ultrasonic
    char Qc[2][4];
    int32_t WindType;
};
#pragma pack(pop)
static_assert(sizeof(WindCompareRec) == 44);

// Sensor selectors and their QC indexes of the minute check.
enum WindSensor { WIND_MECH = 0, WIND_ULT = 1 };
struct WindQcIndex {
    int Wd1, Wd2, Wd10, Ws1, Ws2, Ws10;
};
constexpr WindQcIndex kWindQc[2] = {{15, 82, 83, 16, 80, 81}, {85, 87, 89, 86, 88, 90}};

// 0 mechanical source, 1 ultrasonic.
extern int g_iWindType;

// Vector mean direction (degrees, 0 <= d < 360) of the n directions with QC
// '0'; *valid gets their number. With no valid direction the result is 270.
double WindVectorMean(const float *deg, const char *qc, int n, int *valid);
double WindVectorMeanInt(const int32_t *deg, const char *qc, int n, int *valid);

// The 240 3-second means of a speed ring (cur) with the previous minute's
// ring (prev), into out. Returns the number of means with QC '0'.
int WindCalc3sMeans(const SampleRing<240> &cur, const SampleRing<240> &prev, SampleRing<240> &out);

// One sensor's minute, from the snapshot rings into its result set and its
// statistics. now: the minute's time (full year, months 1-12).
void CalWindSensor(int sensor, SampleDataRec *snap, const struct tm *now, WindSensorStat *st,
                   WindFieldsRec *out);
void CalMachineWind(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out);
void CalUltWind(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out);
// Chooses the source and fills rec (fields 0-5 of the record) and the hour
// wind of the record statistics; cmp (may be null) gets the comparison area.
void CheckWindALG(const WindFieldsRec *mech, const WindFieldsRec *ult, WindFieldsRec *rec,
                  WindCompareRec *cmp);
// Both sensors and the choice; the usual entry of the main minute record.
void CheckWindSourceAndCal(SampleDataRec *snap, const struct tm *now, WindFieldsRec *rec,
                           WindCompareRec *cmp);
// The older record generation has the same six wind fields.
void CalMachineWind_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out);
void CalUltWind_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out);
void CheckWindALG_Old(const WindFieldsRec *mech, const WindFieldsRec *ult, WindFieldsRec *rec,
                      WindCompareRec *cmp);
void CheckWindSourceAndCal_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *rec,
                               WindCompareRec *cmp);
// Forgets the source choice and its counter, as at process start.
void WindReset();
