#include "station/DataProcess.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

#include "platform/Transplant.h"
#include "canbus/CanReceive.h"
#include "canbus/CanSend.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "processing/Dmgd.h"
#include "processing/LastMinData.h"
#include "processing/Statistic.h"
#include "sampling/Sensortable.h"

namespace {

int g_hourSaves = 0;
int g_radiHourSaves = 0;

bool OldGeneration() { return defdataEx == nullptr || defdataEx->Generation == 0; }
bool CfCopy() { return defdata != nullptr && defdata->CfValid == '1'; }

// Every element's state for the status commands: not enabled, normal or
// without valid data.
void RefreshElementStatus()
{
    if (TemproraryData == nullptr || defdata == nullptr)
        return;
    TemproraryDataRec &td = *TemproraryData;
    for (int i = 1; i < ELEMENT_COUNT; ++i) {
        if (g_ucpSampleDataQc != nullptr)
            td.CurrentQc[i] = char(g_ucpSampleDataQc[i]);
        if (defdata->ElementEnable[i] != '1')
            td.SensorState[i] = 'N';
        else
            td.SensorState[i] = td.CurrentQc[i] == '0' ? '0' : '2';
    }
}

} // namespace

int HourFilesSaveCount() { return g_hourSaves; }
int RadiHourFilesSaveCount() { return g_radiHourSaves; }

void DataProcessInit()
{
    // Allocated once for the whole run: the minute cycle itself never
    // allocates.
    static SampleDataRec copy;
    static unsigned char lastMin[LASTMIN_BYTES];
    SampleDataCopy = &copy;
    LastMinData = lastMin;
    std::memset(&copy, 0, sizeof copy);
    std::memset(lastMin, 0, sizeof lastMin);
    StatisticValueSet();
    ReadLastMinData();
}

void MinFileCalc()
{
    if (SampleDataCopy == nullptr || FileSave == nullptr)
        return;
    SampleStoreSnapshot(SampleDataCopy);

    // Radiation records run on the shifted clock (their own savers read it).
    std::printf("%s(%d)..\n", "MinFileCalc", __LINE__);
    DmrdCalculate();
    Dmrd1Calculate();
    std::printf("%s(%d)..\n", "MinFileCalc", __LINE__);

    const char *text = DmgdMinuteTexts();
    // The terminal answers a bare DMGD with this live copy.
    if (TemproraryData != nullptr)
        std::snprintf(TemproraryData->LastRecord[REC_DMGD], LAST_RECORD_LEN, "%s", text);
    DmcdCalculate();
    SampleStoreKeepPrevMinute(SampleDataCopy);
}

void MinFilesSave()
{
    if (FileSave == nullptr)
        return;
    FileSaveRec &fs = *FileSave;
    DmrdSave();
    if (CfCopy())
        DmrdSaveCF();
    RRFileSave(fs.DmrdText);

    DmgdSave();
    if (CfCopy())
        DmgdSaveCF();
    DmcdSave();
    if (CfCopy())
        DmcdSaveCF();
    DmodSave();
    DmsdSave();
    SampleSave();
    if (CfCopy())
        SampleSaveCF();

    if (OldGeneration())
        GGFileSave_Old(fs.DmgdTextOld, fs.DmcdText);
    else
        GGFileSave(fs.DmgdText, fs.DmcdText);
    RefreshElementStatus();
    if (OldGeneration())
        STFileSave_Old();
    else
        STFileSave();
    SaveLastMinData();
    TpSystem("sync");
}

void HourFilesSave()
{
    int minute = GetTime(0)->tm_min;
    if (minute != 59 && minute != 0)
        return;
    ++g_hourSaves;
    if (OldGeneration()) {
        DhgdSave_Old();
        DhgdnzSave();
        if (CfCopy()) {
            DhgdSaveCF_Old();
            DhgdnzSaveCF();
        }
    } else {
        DhgdSave();
        if (CfCopy())
            DhgdSaveCF();
    }
    DhcdSave();
    if (CfCopy())
        DhcdSaveCF();
    DhodSave();
    DhsdSave();
    // The hour's statistics restart only once its last record is out.
    if (minute == 0)
        StatisticValueReSet(0);
}

void RadiHourFilesSave()
{
    int td = defdata != nullptr ? defdata->Td : 0;
    int minute = GetTime(td)->tm_min;
    if (minute != 59 && minute != 0)
        return;
    ++g_radiHourSaves;
    DhrdSave();
    if (CfCopy())
        DhrdSaveCF();
    if (minute == 0)
        StatisticValueReSet(1);
}

int DataProcessPass(DataProcessState &st)
{
    struct tm now = *GetTime(0);
    TemproraryDataRec *td = TemproraryData;
    if (td != nullptr && now.tm_min >= 1 && now.tm_min <= 58) {
        const ShareClockRec &c = td->ShareClock;
        // The shared copy is read as it is, so the difference is taken wide.
        int64_t d = std::llabs((int64_t(now.tm_min) * 60 + now.tm_sec) -
                               (int64_t(c.Min) * 60 + int64_t(c.Sec)));
        bool wrong = d > 10 || now.tm_year < kClockYearMin || now.tm_year > kYearMax;
        // Tried at most once per minute, also when the setting failed.
        if (wrong && !st.corrected) {
            st.corrected = true;
            if (SetSystimeByHwclock(1) == 0) {
                now = *GetTime(0);
                if (td->MainStat.CanBusState == '0')
                    MakeCanSendPacket(2, 0, 0);
            }
        }
    }
    // Second 55 and later belong to the end of the minute: never start
    // there, the samples of the minute are still coming in.
    if (now.tm_sec < 55 && now.tm_min != st.p_min) {
        st.p_min = now.tm_min;
        MinFileCalc();
        MinFilesSave();
        HourFilesSave();
        RadiHourFilesSave();
        st.corrected = false;
        for (int node : {int(NODE_MAIN), int(NODE_CLIM), int(NODE_SOIL), int(NODE_SEAA)})
            CanRcvInit(node);
        return 1;
    }
    return 0;
}

int DataProcess()
{
    for (int i = 0; i < 5; ++i) {
        sleep(1);
        SoftDogFeed(DOG_D);
        if (TemproraryData != nullptr && TemproraryData->CurrentQc[EL_RAT] == '0') {
            std::printf("rcvd sampboard data ok,i:%d,T0:%f\n", i,
                        double(TemproraryData->CurrentValue[EL_T0]));
            break;
        }
    }
    char startText[128];
    struct tm now = *GetTime(0);
    std::snprintf(startText, sizeof startText,
                  "###################start at :%04d-%02d-%02d %02d:%02d:%02d#########\r\n",
                  now.tm_year, now.tm_mon, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    std::printf("%s", startText);
    DataProcessInit();

    DataProcessState st;
    for (;;) {
        DataProcessPass(st);
        SoftDogFeed(DOG_D);
        sleep(1);
    }
}
