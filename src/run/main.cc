#include "run/entry_point.h"

int main(int argc, char** argv) { return installerMain(argc, argv); }
