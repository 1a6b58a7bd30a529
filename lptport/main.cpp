// SPDX-License-Identifier: MIT
#include "lptport/commands.h"

int main(int argc, char** argv) {
    return runLptport(argc, argv);
}
