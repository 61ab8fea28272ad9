#include "core/Main.h"

int main(int argc, char **argv) { return KomainMain(argc, argv); }
