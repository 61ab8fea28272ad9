// Sample archives: every minute the individual samples of a set of elements
// become one text record per element, kept as the element's live sample
// text (the SAMPLE and SAMPLEQ commands read it) and, for the elements whose
// archive flag is set, written into the minute's slot of a ring file under
// /mnt/nand3/tempdata/sample/ and, with the CF copy on, under
// /mnt/cf/tempdata/sample/. Plain records (.DAT) give the valid samples,
// QC records (.DATQ) every sample with its QC character.
#pragma once

#include <cstddef>

#include "processing/Records.h"
#include "sampling/SampleStore.h"

// Builds the record text of one archive (its tag, e.g. "SAMPLE_P") from the
// ring's samples into out (cap bytes, zero-filled first): never longer than
// cap - 1 bytes, cut after the last whole sample that fits, always ending in
// "\r\n". Returns the length, or -1 for an unknown tag.
int SampleArchiveText(const char *tag, bool qc, const SampleDataRec &snap, char *out,
                      std::size_t cap);

// SampleSave and SampleSaveCF (processing/Records.h) write the minute's
// archives from SampleDataCopy, group by group in this order; a failing file
// ends its group for the minute. The CF twins act only with the card usable
// (CfState '0').

int MainSensorSampleSave();
int MainSensorSampleSaveQc();
int CliSensorSampleSave();
int EarthTempSensorSampleSave();
int EarthTempSensorSampleSaveQc();
int RadiSensorSampleSave();
int TAirSampleSave();
int MainSensorSampleSaveCF();
int MainSensorSampleSaveCFQc();
int CliSensorSampleSaveCF();
int EarthTempSensorSampleSaveCF();
int EarthTempSensorSampleSaveCFQc();
int RadiSensorSampleSaveCF();
int TAirSampleSaveCF();
