// Placeholder until the parameter files are built.
#include "core/Param.h"

#include "core/ShareMem.h"

int CheckParaExFile() { return 0; }
int CheckParamFile() { return 0; }
int CheckmodiParamFile() { return 0; }
