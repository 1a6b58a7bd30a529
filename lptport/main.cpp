// SPDX-License-Identifier: MIT
#include "lptport/program.h"

int main(int argc, char** argv) {
    return runLptport(argc, argv);
}
