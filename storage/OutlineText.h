#pragma once
// The outline as a readable UTF-8 text, for export, import and the bundled data sets.
//
//   # a comment (a '#' in the first column)
//   * Title of a top-level entry
//     | first body line
//     |
//     | third body line, after an empty one
//     * Title of its child
//   *
//
// An entry line is 2*L spaces (L its level), '*', then a space and the title, or nothing
// for an empty title. Its body lines follow it, each 2*L+2 spaces and '|', then a space and
// the line's text, or nothing for an empty line; no '|' line means a body without lines.
// An entry is at most one level deeper than the entry before it. Blank lines are ignored.
//
// In titles and body lines "\\" is a backslash and "\xHH" the raw byte HH. The formatter
// writes "\xHH" for control bytes and for every byte that would not come back unchanged
// through UTF-8 (code page 932 characters with a second code such as 87 90, bytes that
// decode to nothing), so ParseOutlineText(FormatOutlineText(N)) gives back N's titles and
// bodies byte for byte.
//
// So a data file that the program wrote comes back byte for byte through export and import.
// A file in another shape (parents out of pre-order, a header other than "Dummy", bodies
// without their final CR LF or with lone line ends) comes back the way loading and saving
// it in the program would write it: the text holds the outline as loaded.
#include "ByteString.h"
#include "Errors.h"

#include <string>
#include <string_view>

class TTreeNodes;

// A text that cannot become an outline. The message reads "Source:Line: what is wrong".
class EOutlineTextError : public Exception {
public:
    EOutlineTextError(const std::string& Source, int Line, const std::string& What);
    int Line() const noexcept { return FLine; }

private:
    int FLine;
};

// The whole outline as text, entries in pre-order. A missing body counts as no lines.
std::string FormatOutlineText(const TTreeNodes& Nodes);

// Appends the entries of Text to Nodes (level-0 entries as top-level entries). Each body is a
// new TStringList that Nodes' OnDeletion handler must release, as for a loaded data file.
// The whole text is checked before the first entry is added: on EOutlineTextError Nodes is
// unchanged. Source names the text in messages. Observers see one reset.
void ParseOutlineText(TTreeNodes& Nodes, std::string_view Text, const std::string& Source);

// Parses Text and writes it as the data file DataFileName with the program's writer; returns
// the number of entries written. On EOutlineTextError nothing is written and a file already
// there keeps its content. Throws EOutlineTextError, EFCreateError, EWriteError, EOutOfMemory.
int ImportOutlineText(std::string_view Text, const std::string& Source, const std::string& DataFileName);
