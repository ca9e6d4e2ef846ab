// Feeds arbitrary bytes to the data file reader. Whatever it accepts must save and load
// back to the very same outline, byte for byte.
#include "DataFile.h"
#include "Errors.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TByteString Save(TTreeNodes& Nodes) {
    TMemoryWriteStream Out;
    WriteOutline(Nodes, Out);
    return Out.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    TMemoryReadStream Stream(TByteView(reinterpret_cast<const char*>(Data), Size));
    try {
        ReadOutline(Nodes, Stream);
    } catch (const Exception&) {
        // A damaged file: the entries read so far stay and must still save cleanly.
        Save(Nodes);
        return 0;
    }
    const TByteString First = Save(Nodes);
    TTreeNodes Again;
    ReleaseBodiesOnDeletion(Again);
    TMemoryReadStream Back(First);
    ReadOutline(Again, Back);
    if (Again.EntryCount() != Nodes.EntryCount() || Save(Again) != First)
        std::abort();
    return 0;
}
