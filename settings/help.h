// The help file beside the program.
#pragma once

void LocateHelpFile();
const char* GetHelpFile();
