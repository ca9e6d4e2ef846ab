#pragma once
// The platform's profile-file functions: one value per call, read from or
// written to a settings file of [section] and key=value lines.
//
// Every call opens the file anew; nothing is held between calls. Arguments are
// zero-terminated byte strings (UTF-8 on this platform), so a text ends at its
// first zero byte. Section and key names are case-sensitive and may hold any
// bytes, "/" and "\" included; an empty name is a name like any other. A
// relative file name is taken relative to the current directory.

#include <cstddef>

// Copies the value of Key in Section of the file FileName into Buffer, or
// Default when the file, the section or the key is missing or cannot be read.
// At most Size - 1 bytes are copied, then a zero; returns the number of bytes
// copied without the zero. Size 0 copies nothing and returns 0.
std::size_t GetPrivateProfileString(const char* Section, const char* Key, const char* Default, char* Buffer,
                                    std::size_t Size, const char* FileName);

// Sets Key in Section of the file FileName to Value, creating the file, the
// section and the key as needed, and puts the file on disk before returning.
// Returns false, leaving the file as it was, when the file cannot be written:
// its directory is missing (no directory is created), it names a directory,
// or the file or its directory is not writable.
bool WritePrivateProfileString(const char* Section, const char* Key, const char* Value, const char* FileName);
