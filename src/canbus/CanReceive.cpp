#include "canbus/CanReceive.h"

CanSendRcvRec *cansendrcvarray = nullptr;
TpCanFrame canframeRev{};
