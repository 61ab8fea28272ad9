#include "station/Station.h"

int main(int argc, char **argv) { return KomainMain(argc, argv); }
