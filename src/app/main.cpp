// The program `tabulor`: the window for mixed series evaluations.
#include "app/sub_main.h"

int main(int argc, char** argv) { return tabulor::RunWindowProgram(argc, argv); }
