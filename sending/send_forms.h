// The button and form files of the data folder.
#pragma once

// Start-up: resolves the data folder of the send forms.
void LocateDataDirectory();
const char* GetDataDirectory();
