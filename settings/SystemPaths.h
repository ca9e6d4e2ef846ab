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

// The program's own folder in the user's configuration folder, where the settings
// file goes when the executable's folder cannot take it: GetWindowsDirectory()
// followed by "/quorvel".
TByteString GetProgramConfigFolder();

// True when something, a dangling link included, has this name.
bool PathExists(const TByteString& Path);

// True when the program may keep its settings file in Folder: the process can create
// files there, and it is not one of the folders the system's package manager owns
// (/usr outside /usr/local, /bin, /sbin, /lib...), where a file of ours would be left
// behind by an uninstall.
bool FolderTakesSettings(const TByteString& Folder);

// Makes Folder and the folders above it that are missing, each readable by the user
// only. True when Folder is there afterwards.
bool MakeFolders(const TByteString& Folder);
