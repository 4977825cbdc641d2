// The first token of the command line decides how the process starts.
#pragma once

enum class StartMode {
    Normal,       // shown with the system's show state
    Automation,   // "Automation" or "Embedding": hidden, started by automation
    RegServer,    // register the automation server and end
    UnregServer,  // unregister it and end
};

// Splits at slash, minus and blank; only the first token counts, compared
// without regard to case.
StartMode ParseCommandLine(const char* commandLine);
