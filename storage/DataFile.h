#pragma once
// The data file: a whole outline with every entry's title and body.
//
// Layout (integers are 32-bit little-endian, a string is its int32 byte length and then
// its bytes): the header string "Dummy", the entry count, then one record per entry in
// absolute-index order: parent index (-1 at the top level), own index, title, body text.
#include "ByteString.h"
#include "FileStream.h"

#include <cstdint>
#include <string>

class TTreeNodes;

// Writes Text's byte length as an int32, then its bytes. Throws EWriteError.
void WriteStr(TWriteStream& Stream, TByteView Text);
// Reads an int32 length, then that many bytes. Throws EReadError for a negative length
// or one beyond the end of the stream (checked before anything is allocated), and
// EOutOfMemory when the string cannot be held.
TByteString ReadStr(TReadStream& Stream);

void WriteInt32(TWriteStream& Stream, std::int32_t Value);
std::int32_t ReadInt32(TReadStream& Stream);

enum class TReadResult { rrRead, rrNotFound };

// Clears Nodes (each body leaves through Nodes.OnDeletion) and rebuilds it from FileName.
// rrNotFound when the file cannot be opened (nothing raised; outline left empty).
// Throws EReadError / ETreeViewError / EOutOfMemory; the entries read before the
// failing record stay. Observers see one reset for the whole load.
TReadResult ReadOutline(TTreeNodes& Nodes, const std::string& FileName);
// Generations of backups the program keeps of a data file it saves: name.1 to name.3.
constexpr int DataFileBackups = 3;
// Writes Nodes to FileName, first keeping Backups generations of the old file (see
// TReplacingFileStream). Throws EFCreateError(FileName) / EWriteError, or
// EFCreateError(FileName.1) when a backup cannot be kept; the file is then untouched.
void WriteOutline(TTreeNodes& Nodes, const std::string& FileName, int Backups = 0);
// For programs without a window: make OnDeletion release each entry's body.
void ReleaseBodiesOnDeletion(TTreeNodes& Nodes);

// The same over any stream. ReadOutline clears Nodes first; each record's body is a new
// TStringList handed to the outline, released by whoever handles OnDeletion. A parent
// index names an entry of the outline as built so far.
void ReadOutline(TTreeNodes& Nodes, TReadStream& Stream);
void WriteOutline(TTreeNodes& Nodes, TWriteStream& Stream);
