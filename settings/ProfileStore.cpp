#include "ProfileStore.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

bool IsUtf8(const QByteArray& Bytes) {
    return QString::fromUtf8(Bytes).toUtf8() == Bytes;
}

// QSettings reads "/" as a group separator and drops empty names, so "a"/"b/c" and
// "a/b"/"c" would meet in one key, and so would ""/"k" and "k"/"". Each name is
// therefore escaped on its own: "\" doubles, "/" becomes "\x2F", the empty name
// becomes "\e", and a name that is not UTF-8 has every byte from 0x80 up written as
// "\xHH" (QSettings would mangle it). Plain names such as form1.top stay as they are.
QString EscapeName(const char* Name) {
    const QByteArray Bytes(Name);
    if (Bytes.isEmpty())
        return QStringLiteral("\\e");
    const bool Utf8 = IsUtf8(Bytes);
    QByteArray Escaped;
    for (const char Byte : Bytes) {
        const auto Code = static_cast<unsigned char>(Byte);
        if (Byte == '\\') {
            Escaped += "\\\\";
        } else if (Byte == '/' || (!Utf8 && Code >= 0x80)) {
            Escaped += "\\x";
            Escaped += QByteArray::number(Code, 16).rightJustified(2, '0').toUpper();
        } else {
            Escaped += Byte;
        }
    }
    return QString::fromUtf8(Escaped);
}

QString SettingsKey(const char* Section, const char* Key) {
    return EscapeName(Section) + QLatin1Char('/') + EscapeName(Key);
}

// UTF-8 text is stored as plain text; other bytes go in QSettings' byte-array form,
// which reads back byte for byte.
QVariant ToVariant(const char* Value) {
    const QByteArray Bytes(Value);
    if (IsUtf8(Bytes))
        return QString::fromUtf8(Bytes);
    return Bytes;
}

// A value written by hand may come back as a list ("1,2") or as a typed value
// ("@Rect(...)"); a list is given as QSettings writes it, anything else that has no
// text form counts as missing.
std::optional<QByteArray> TextOf(const QVariant& Value) {
    if (!Value.isValid())
        return std::nullopt;
    switch (Value.typeId()) {
    case QMetaType::QByteArray:
        return Value.toByteArray();
    case QMetaType::QString:
        return Value.toString().toUtf8();
    case QMetaType::QStringList:
        return Value.toStringList().join(QStringLiteral(", ")).toUtf8();
    default:
        if (Value.canConvert<QString>())
            return Value.toString().toUtf8();
        return std::nullopt;
    }
}

// Identity of the file on disk, to tell whether a write replaced it.
struct TFileStamp {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};

    bool operator==(const TFileStamp& Other) const {
        return Exists == Other.Exists && Device == Other.Device && Inode == Other.Inode && Size == Other.Size &&
               Modified.tv_sec == Other.Modified.tv_sec && Modified.tv_nsec == Other.Modified.tv_nsec &&
               Changed.tv_sec == Other.Changed.tv_sec && Changed.tv_nsec == Other.Changed.tv_nsec;
    }
};

TFileStamp StampOf(const char* FileName) {
    struct stat Info {};
    if (::stat(FileName, &Info) != 0)
        return {};
    return TFileStamp{true, Info.st_dev, Info.st_ino, Info.st_size, Info.st_mtim, Info.st_ctim};
}

} // namespace

std::size_t GetPrivateProfileString(const char* Section, const char* Key, const char* Default, char* Buffer,
                                    std::size_t Size, const char* FileName) {
    if (Buffer == nullptr || Size == 0)
        return 0;
    QByteArray Text(Default != nullptr ? Default : "");
    if (Section != nullptr && Key != nullptr && FileName != nullptr && *FileName != '\0') {
        const QSettings Settings(QFile::decodeName(FileName), QSettings::IniFormat);
        if (auto Found = TextOf(Settings.value(SettingsKey(Section, Key))))
            Text = std::move(*Found);
    }
    const auto Count = std::min(static_cast<std::size_t>(Text.size()), Size - 1);
    std::memcpy(Buffer, Text.constData(), Count);
    Buffer[Count] = '\0';
    return Count;
}

bool WritePrivateProfileString(const char* Section, const char* Key, const char* Value, const char* FileName) {
    if (Section == nullptr || Key == nullptr || Value == nullptr || FileName == nullptr || *FileName == '\0')
        return false;
    const QString Path = QFile::decodeName(FileName);
    const QFileInfo Info(Path);
    // QSettings would create the missing directories; a settings file never does.
    if (Info.isDir() || !QFileInfo(Info.absolutePath()).isDir())
        return false;

    const TFileStamp Before = StampOf(FileName);
    QSettings Settings(Path, QSettings::IniFormat);
    // QSettings keeps the first error it meets: once a damaged file has set
    // FormatError, a failed write no longer shows as AccessError.
    const bool ErrorHidden = Settings.status() == QSettings::FormatError;
    const QString Name = SettingsKey(Section, Key);
    const QVariant Previous = Settings.value(Name);
    Settings.setValue(Name, ToVariant(Value));
    Settings.sync();

    bool Written = Settings.status() == QSettings::NoError;
    if (ErrorHidden && Settings.status() == QSettings::FormatError) {
        // Every successful sync replaces the file through a new temporary file.
        const TFileStamp After = StampOf(FileName);
        Written = After.Exists && !(After == Before);
    }
    if (!Written) {
        // Qt keeps the unwritten value in its per-process cache of the file, where
        // later reads would find it: put the cache back to what the file holds.
        if (Previous.isValid())
            Settings.setValue(Name, Previous);
        else
            Settings.remove(Name);
    }
    return Written;
}
