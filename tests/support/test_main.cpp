// The main of every test program. Under Wine a fault inside a window procedure can end a program
// with exit code 0 before GoogleTest has reported, so CTest passes a test only on the last line
// printed here, which a program that stopped early never reaches.
#include <gtest/gtest.h>

#include <cstdio>

#include "shell/app.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InstallReportPresenter();  // reports reach the status bar or a box, as in the program
    int result = RUN_ALL_TESTS();
    if (result == 0) printf("vorlin-tests-complete\n");
    fflush(stdout);
    return result;
}
