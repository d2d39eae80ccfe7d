// The program's entry point: everything happens in RunVrma.
#include "app/Alfa_form.h"

int main(int argc, char** argv) {
    return vrma::RunVrma(argc, argv);
}
