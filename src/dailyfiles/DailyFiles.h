// The daily data files GG, RR and ST: one line per minute.
#pragma once

int RRFileSave(const char *dmrdText);
int GGFileSave(const char *dmgdText, const char *dmcdText);
int GGFileSave_Old(const char *dmgdText, const char *dmcdText);
int STFileSave();
int STFileSave_Old();
