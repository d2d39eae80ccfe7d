// The program's entry point: everything happens in RunVrma.
#include "platform/Application.h"

int main(int argc, char** argv) {
    return vrma::RunVrma(argc, argv);
}
