// What the launcher does before anything else when it starts.
#pragma once

// Limits the search for DLLs loaded on demand (the delay-loaded GDI+,
// common controls and the like) to the system folder, and takes the current
// directory out of it. The launcher's copy runs from %TEMP%, where other
// programs can drop DLLs beside it.
void RestrictDllSearchToSystemFolder();
