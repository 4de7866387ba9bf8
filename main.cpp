#include "platform/endpoints.h"
#include "platform/real_program.h"

int main() { return larkspur::runRealProgram(larkspur::Endpoints{}); }
