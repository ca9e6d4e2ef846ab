#pragma once
// Where the settings component looks on this platform.
#include "ByteString.h"

// Full path of the running executable, symbolic links resolved; empty when the
// system cannot tell.
TByteString GetExecutablePath();

// The folder that stands in for the Windows directory: the user's configuration
// folder, $XDG_CONFIG_HOME when it holds an absolute path, otherwise ~/.config.
// Returned without a trailing separator.
TByteString GetWindowsDirectory();
