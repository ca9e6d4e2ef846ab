#pragma once
// The profile-file functions: one value per call, read from or written to a
// settings file of [section] and key=value lines.
//
// Every call opens the file anew; nothing is held between calls. Arguments are
// zero-terminated byte strings, so a text ends at its first zero byte. Section and
// key names are compared ignoring the case of A-Z (bytes from 0x80 up compare as
// they are); the first matching section and, within it, the first matching key
// count. A relative file name is taken relative to the current directory.
//
// The file's form, as read:
// - Lines end with LF or CR LF; the last line may have no end.
// - A line whose first non-blank byte is "[" and that holds a "]" opens a section;
//   its name is what lies between, blanks (space, tab) around it removed.
// - Any other line with a "=" is a key line: the key is what lies before the first
//   "=", the value what follows, both without the blanks around them. A value
//   enclosed in a pair of single quotes loses them.
// - A name or value enclosed in double quotes loses them, and inside them \\, \",
//   \r and \n stand for a backslash, a quote, CR and LF.
// - Every other line (comments, blank lines, lines before the first section) means
//   nothing and is kept.
//
// A write changes one line, or adds lines, and keeps every other byte of the file:
// an existing key's value is replaced in place, keeping the key as it is spelled
// there and the line's end; a new key goes after the last key line of its section
// (or right after the section line); a new section goes at the end of the file.
// New lines end like the file's first line (LF in a new file). Names and values
// are written as they are, unless they would not read back byte for byte so: then
// they are written in double quotes. The new file is written beside the old one,
// synced and renamed over it, so a failed write leaves the file as it was; new files
// left by writes that were killed part-way are removed by the next write.
#include "ByteString.h"

#include <cstddef>
#include <optional>

// Copies the value of Key in Section of the file FileName into Buffer, or
// Default when the file, the section or the key is missing or cannot be read.
// At most Size - 1 bytes are copied, then a zero; returns the number of bytes
// copied without the zero. Size 0 copies nothing and returns 0.
std::size_t GetPrivateProfileString(const char* Section, const char* Key, const char* Default, char* Buffer,
                                    std::size_t Size, const char* FileName);

// Sets Key in Section of the file FileName to Value, creating the file, the
// section and the key as needed, and puts the file on disk before returning.
// Returns false, leaving the file as it was, when the file cannot be written:
// its directory is missing (no directory is created), it names a directory or
// anything else that is not a regular file, a dangling link, the file is
// read-only or cannot be read, or its directory is not writable.
bool WritePrivateProfileString(const char* Section, const char* Key, const char* Value, const char* FileName);

// The same on a file's bytes held in memory.
// The value of Key in Section of Text, or nothing when there is none.
std::optional<TByteString> FindProfileValue(TByteView Text, TByteView Section, TByteView Key);
// Text with Key in Section set to Value; nothing when the names or the value
// cannot be written in a form that reads back.
std::optional<TByteString> SetProfileValue(TByteView Text, TByteView Section, TByteView Key, TByteView Value);
