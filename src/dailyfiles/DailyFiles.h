// The daily data files under /mnt/nand3/data/: GG (the minute observations),
// RR (the minute radiation) and ST (the minute station status). Each is a
// header line and 1440 minute lines of fixed width, made with empty lines
// when first used and then written one line at a time in place.
//
// GG and ST follow the observation day (the clock plus 239 minutes: the file
// of day D runs from 20:01 of D-1 to 20:00 of D); RR follows the radiation
// day (the clock plus Td, its 00:00 being the 24:00 of the day before).
#pragma once

constexpr int GG_LINE = 318;
constexpr int GG_LINE_OLD = 258;
constexpr int RR_LINE = 136;
constexpr int ST_HEADER = 279;
constexpr int ST_LINE = 331;
constexpr int ST_LINE_OLD = 251;
constexpr int DAILY_LINES = 1440;
constexpr int GG_SHIFT_MINUTES = 239;

// The minute's GG line from the DMGD and DMCD record texts, current and
// older generation; into line (GG_LINE, resp. GG_LINE_OLD bytes).
void GGFileCalculate(const char *dmgdText, const char *dmcdText, char *line);
void GGFileCalculate_Old(const char *dmgdText, const char *dmcdText, char *line);
// The minute's RR line from the DMRD record text (RR_LINE bytes).
void RRFileCalculate(const char *dmrdText, char *line);
// The minute's ST line from the live state, the parameters and the minute's
// DMGD text (ST_LINE, resp. ST_LINE_OLD bytes).
void STFileCalculate(char *line);
void STFileCalculate_Old(char *line);

// Once a minute, by the minute cycle. 0, or -1 when the line was not
// written.
int GGFileSave(const char *dmgdText, const char *dmcdText);
int GGFileSave_Old(const char *dmgdText, const char *dmcdText);
int RRFileSave(const char *dmrdText);
int STFileSave();
int STFileSave_Old();
