// Records of the minute cycle that are not built yet: each does nothing and
// reports success, so the minute cycle runs in its order.
#include "processing/Records.h"

SampleDataRec *SampleDataCopy = nullptr;

void DmrdCalculate() {}
void Dmrd1Calculate() {}
void DmcdCalculate() {}
int DmrdSave() { return 0; }
int DmrdSaveCF() { return 0; }
int DmcdSave() { return 0; }
int DmcdSaveCF() { return 0; }
int DmodSave() { return 0; }
int DmsdSave() { return 0; }
int DhgdSave() { return 0; }
int DhgdSave_Old() { return 0; }
int DhgdnzSave() { return 0; }
int DhgdSaveCF() { return 0; }
int DhgdSaveCF_Old() { return 0; }
int DhgdnzSaveCF() { return 0; }
int DhcdSave() { return 0; }
int DhcdSaveCF() { return 0; }
int DhodSave() { return 0; }
int DhsdSave() { return 0; }
int DhrdSave() { return 0; }
int DhrdSaveCF() { return 0; }
