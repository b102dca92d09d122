// The tallowmere program.
#include "app/program.h"

int main(int argc, char** argv) {
    return tallowmere::Program(argc, argv).run();
}
