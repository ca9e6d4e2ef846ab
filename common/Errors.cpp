#include "Errors.h"

std::string FormatMessage(const char* Format, const std::string& Arg) {
    std::string Text(Format);
    const auto At = Text.find("%s");
    if (At != std::string::npos)
        Text.replace(At, 2, Arg);
    return Text;
}

EReadError::EReadError() : EStreamError(Messages::ReadError) {}
EWriteError::EWriteError() : EStreamError(Messages::WriteError) {}
EFCreateError::EFCreateError(const std::string& FileName)
    : EStreamError(FormatMessage(Messages::FCreateError, FileName)) {}
ETreeViewError::ETreeViewError() : Exception(Messages::InvalidIndex) {}
EOutOfResources::EOutOfResources() : Exception(Messages::CannotInsert) {}
EInvalidOperation::EInvalidOperation() : Exception(Messages::MemoTooLarge) {}
EOutOfMemory::EOutOfMemory() : Exception(Messages::OutOfMemory) {}

Exception ECannotWriteSettings(const std::string& Path) {
    return Exception(FormatMessage(Messages::CannotWrite, Path));
}
