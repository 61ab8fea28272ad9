// Process D: the minute cycle.
#pragma once

int DataProcess();
