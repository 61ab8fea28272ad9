// Process A: reception of CAN frames and their conversion into samples.
#pragma once

int SetChecExtTimer();
int RcvCanPacket();
