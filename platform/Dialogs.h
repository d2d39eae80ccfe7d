#pragma once
// The dialog seam of the program, for the windows: the abstract host and the calls that
// go through it live in the core (data/Dialogs.h); the desktop host that answers them on
// the screen is platform/DesktopDialogHost.h.
#include "data/Dialogs.h"
