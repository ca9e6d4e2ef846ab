#pragma once
// Profile stores: named text and integer values in one settings file.
//
// A store is bound at creation to one file name and holds nothing else: no copy
// of the file and no open file. Every read and write is one call of the profile
// functions (ProfileStore.h) on that name. Section, key and value are byte
// strings handed over zero-terminated.
#include "ByteString.h"
#include "Object.h"

#include <cstdint>

class TCustomIniFile : public TObject {
public:
    // Records the name only; no file is opened, created or examined, so any name,
    // an empty one or a directory's included, is accepted.
    explicit TCustomIniFile(TByteString FileName) : FFileName(std::move(FileName)) {}

    const TByteString& FileName() const noexcept { return FFileName; }

    // The value of Key in Section, or Default when it is missing.
    virtual TByteString ReadText(const TByteString& Section, const TByteString& Key,
                                 const TByteString& Default) const = 0;
    // Throws Exception "<file name> に書き込めません" when the value cannot be written.
    virtual void WriteText(const TByteString& Section, const TByteString& Key, const TByteString& Value) = 0;

    // The stored integer, or Default when the value is missing or is not an integer
    // text: leading spaces, then "$", "x", "X", "0x" or "0X" and up to 32 bits of
    // hexadecimal digits (two's complement), or an optionally signed decimal within
    // 32 bits, and nothing after the digits. Never throws.
    virtual std::int32_t ReadInt(const TByteString& Section, const TByteString& Key, std::int32_t Default) const;
    // Writes Value as plain decimal text. Throws like WriteText.
    virtual void WriteInt(const TByteString& Section, const TByteString& Key, std::int32_t Value);

private:
    TByteString FFileName;
};

class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;

    // Values longer than 2047 bytes come back cut to their first 2047 bytes.
    TByteString ReadText(const TByteString& Section, const TByteString& Key, const TByteString& Default) const override;
    // The file is on disk when this returns.
    void WriteText(const TByteString& Section, const TByteString& Key, const TByteString& Value) override;
};
