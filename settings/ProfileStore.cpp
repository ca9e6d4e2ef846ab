#include "ProfileStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- the file's form ----

constexpr std::size_t NoPosition = TByteView::npos;

bool IsBlank(char Byte) {
    return Byte == ' ' || Byte == '\t';
}

TByteView Trimmed(TByteView Text) {
    while (!Text.empty() && IsBlank(Text.front()))
        Text.remove_prefix(1);
    while (!Text.empty() && IsBlank(Text.back()))
        Text.remove_suffix(1);
    return Text;
}

char LowerAscii(char Byte) {
    return Byte >= 'A' && Byte <= 'Z' ? static_cast<char>(Byte - 'A' + 'a') : Byte;
}

bool SameName(TByteView Left, TByteView Right) {
    return Left.size() == Right.size() && std::equal(Left.begin(), Left.end(), Right.begin(),
                                                     [](char A, char B) { return LowerAscii(A) == LowerAscii(B); });
}

// Decodes the double-quoted text that starts at Text[At]; returns the position after
// its closing quote, or NoPosition when it is not closed.
std::size_t ParseQuoted(TByteView Text, std::size_t At, TByteString& Decoded) {
    Decoded.clear();
    for (std::size_t Next = At + 1; Next < Text.size(); ++Next) {
        const char Byte = Text[Next];
        if (Byte == '"')
            return Next + 1;
        if (Byte != '\\') {
            Decoded += Byte;
            continue;
        }
        if (++Next == Text.size())
            return NoPosition;
        switch (Text[Next]) {
        case 'n':
            Decoded += '\n';
            break;
        case 'r':
            Decoded += '\r';
            break;
        case '\\':
        case '"':
            Decoded += Text[Next];
            break;
        default:
            Decoded += '\\';
            Decoded += Text[Next];
            break;
        }
    }
    return NoPosition;
}

std::size_t SkipBlanks(TByteView Text, std::size_t At) {
    while (At < Text.size() && IsBlank(Text[At]))
        ++At;
    return At;
}

TByteString ValueOf(TByteView Raw) {
    const TByteView Value = Trimmed(Raw);
    if (Value.size() >= 2 && Value.front() == '"') {
        TByteString Decoded;
        if (ParseQuoted(Value, 0, Decoded) == Value.size())
            return Decoded;
    }
    if (Value.size() >= 2 && Value.front() == '\'' && Value.back() == '\'')
        return TByteString(Value.substr(1, Value.size() - 2));
    return TByteString(Value);
}

enum class TLineKind { lkOther, lkSection, lkKey };

struct TParsedLine {
    TLineKind Kind = TLineKind::lkOther;
    TByteString Name;
    TByteString Value;
    std::size_t ValueAt = 0; // key lines: where the value starts, just after the "="
};

// One line without its end.
TParsedLine ParseLine(TByteView Content) {
    TParsedLine Line;
    const std::size_t First = SkipBlanks(Content, 0);
    if (First == Content.size())
        return Line;
    if (Content[First] == '[') {
        if (First + 1 < Content.size() && Content[First + 1] == '"') {
            const std::size_t After = ParseQuoted(Content, First + 1, Line.Name);
            if (After != NoPosition) {
                const std::size_t Close = SkipBlanks(Content, After);
                if (Close < Content.size() && Content[Close] == ']') {
                    Line.Kind = TLineKind::lkSection;
                    return Line;
                }
            }
        }
        if (const std::size_t Close = Content.find(']', First + 1); Close != NoPosition) {
            Line.Kind = TLineKind::lkSection;
            Line.Name = Trimmed(Content.substr(First + 1, Close - First - 1));
            return Line;
        }
    }
    if (Content[First] == '"') {
        const std::size_t After = ParseQuoted(Content, First, Line.Name);
        if (After != NoPosition) {
            const std::size_t Equals = SkipBlanks(Content, After);
            if (Equals < Content.size() && Content[Equals] == '=') {
                Line.Kind = TLineKind::lkKey;
                Line.ValueAt = Equals + 1;
                Line.Value = ValueOf(Content.substr(Line.ValueAt));
                return Line;
            }
        }
    }
    const std::size_t Equals = Content.find('=', First);
    if (Equals == NoPosition)
        return Line;
    Line.Kind = TLineKind::lkKey;
    Line.Name = Trimmed(Content.substr(First, Equals - First));
    Line.ValueAt = Equals + 1;
    Line.Value = ValueOf(Content.substr(Line.ValueAt));
    return Line;
}

// A line of the file: its bytes are Text[Begin, End), its content without the line's
// end Text[Begin, ContentEnd).
struct TLineSpan {
    std::size_t Begin = 0;
    std::size_t ContentEnd = 0;
    std::size_t End = 0;
};

class TLineReader {
public:
    explicit TLineReader(TByteView Text) : FText(Text) {}

    bool Next(TLineSpan& Line) {
        if (FAt >= FText.size())
            return false;
        Line.Begin = FAt;
        const std::size_t Feed = FText.find('\n', FAt);
        Line.End = Feed == NoPosition ? FText.size() : Feed + 1;
        Line.ContentEnd = Feed == NoPosition ? FText.size() : Feed;
        if (Line.ContentEnd > Line.Begin && FText[Line.ContentEnd - 1] == '\r')
            --Line.ContentEnd;
        FAt = Line.End;
        return true;
    }

private:
    TByteView FText;
    std::size_t FAt = 0;
};

TByteView ContentOf(TByteView Text, const TLineSpan& Line) {
    return Text.substr(Line.Begin, Line.ContentEnd - Line.Begin);
}

TByteString Quoted(TByteView Text) {
    TByteString Out = "\"";
    for (const char Byte : Text) {
        switch (Byte) {
        case '\\':
            Out += "\\\\";
            break;
        case '"':
            Out += "\\\"";
            break;
        case '\r':
            Out += "\\r";
            break;
        case '\n':
            Out += "\\n";
            break;
        default:
            Out += Byte;
        }
    }
    return Out + '"';
}

bool HasLineBreak(TByteView Text) {
    return Text.find_first_of("\r\n") != NoPosition;
}

std::optional<TByteString> SectionLine(TByteView Section) {
    TByteString Line = "[" + TByteString(Section) + "]";
    TParsedLine Parsed = ParseLine(Line);
    if (HasLineBreak(Section) || Parsed.Kind != TLineKind::lkSection || Parsed.Name != Section) {
        Line = "[" + Quoted(Section) + "]";
        Parsed = ParseLine(Line);
    }
    if (Parsed.Kind != TLineKind::lkSection || Parsed.Name != Section)
        return std::nullopt;
    return Line;
}

// The text after "=" that reads back as Value.
std::optional<TByteString> ValueText(TByteView Value) {
    TByteString Text(Value);
    if (HasLineBreak(Value) || ValueOf(Text) != Value)
        Text = Quoted(Value);
    if (ValueOf(Text) != Value)
        return std::nullopt;
    return Text;
}

std::optional<TByteString> KeyLine(TByteView Key, TByteView Value) {
    const auto Written = ValueText(Value);
    if (!Written)
        return std::nullopt;
    TByteString Line = TByteString(Key) + "=" + *Written;
    TParsedLine Parsed = ParseLine(Line);
    if (HasLineBreak(Key) || Parsed.Kind != TLineKind::lkKey || Parsed.Name != Key) {
        Line = Quoted(Key) + "=" + *Written;
        Parsed = ParseLine(Line);
    }
    if (Parsed.Kind != TLineKind::lkKey || Parsed.Name != Key || Parsed.Value != Value)
        return std::nullopt;
    return Line;
}

// The end that new lines get: the one of the file's first line, LF when it has none.
TByteView LineEndOf(TByteView Text) {
    const std::size_t Feed = Text.find('\n');
    if (Feed != NoPosition && Feed > 0 && Text[Feed - 1] == '\r')
        return "\r\n";
    return "\n";
}

// ---- the file on disk ----

// Files larger than this are not settings files: they are neither read nor rewritten.
constexpr off_t MaxFileSize = 16 * 1024 * 1024;

enum class TReadResult { rrRead, rrMissing, rrFailed };

TReadResult ReadWholeFile(const char* FileName, TByteString& Text, struct stat& Info) {
    Text.clear();
    const int Handle = ::open(FileName, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (Handle < 0)
        return errno == ENOENT ? TReadResult::rrMissing : TReadResult::rrFailed;
    TReadResult Result = TReadResult::rrFailed;
    if (::fstat(Handle, &Info) == 0 && S_ISREG(Info.st_mode) && Info.st_size <= MaxFileSize) {
        Result = TReadResult::rrRead;
        char Chunk[65536];
        for (;;) {
            const ssize_t Got = ::read(Handle, Chunk, sizeof Chunk);
            if (Got == 0)
                break;
            if (Got < 0) {
                if (errno == EINTR)
                    continue;
                Result = TReadResult::rrFailed;
                break;
            }
            Text.append(Chunk, static_cast<std::size_t>(Got));
            if (Text.size() > static_cast<std::size_t>(MaxFileSize)) {
                Result = TReadResult::rrFailed;
                break;
            }
        }
    }
    ::close(Handle);
    return Result;
}

bool WriteAll(int Handle, TByteView Text) {
    while (!Text.empty()) {
        const ssize_t Written = ::write(Handle, Text.data(), Text.size());
        if (Written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Text.remove_prefix(static_cast<std::size_t>(Written));
    }
    return true;
}

// The file a write replaces: FileName itself, or where its symbolic links lead.
// Empty when a link leads nowhere.
std::string TargetOf(const char* FileName) {
    struct stat Info {};
    if (::lstat(FileName, &Info) != 0 || !S_ISLNK(Info.st_mode))
        return FileName;
    char* Resolved = ::realpath(FileName, nullptr);
    if (Resolved == nullptr)
        return std::string();
    std::string Target = Resolved;
    std::free(Resolved);
    return Target;
}

std::string DirectoryOf(const std::string& Path) {
    const auto Slash = Path.rfind('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// New files of writes of Target are named ".<base>.new-<pid>-<count>" beside it.
bool IsNewFileName(const std::string& Name, const std::string& Prefix) {
    if (Name.size() <= Prefix.size() || Name.compare(0, Prefix.size(), Prefix) != 0)
        return false;
    const std::string Rest = Name.substr(Prefix.size());
    const auto Dash = Rest.find('-');
    return Dash != std::string::npos && Dash > 0 && Dash + 1 < Rest.size() &&
           Rest.find_first_not_of("0123456789-") == std::string::npos && Rest.find('-', Dash + 1) == std::string::npos;
}

// Removes the new files of writes that were killed part-way: a write holds the lock of
// its own until it is renamed. Where there are no locks, nothing is removed.
void RemoveStrayFiles(const std::string& Folder, const std::string& Prefix) noexcept {
    DIR* Listing = ::opendir(Folder.empty() ? "." : Folder.c_str());
    if (Listing == nullptr)
        return;
    std::vector<std::string> Strays;
    try {
        while (const dirent* Entry = ::readdir(Listing)) {
            if (IsNewFileName(Entry->d_name, Prefix))
                Strays.push_back(Folder + Entry->d_name);
        }
    } catch (...) {
        // No memory for the list: the strays wait for another write.
    }
    ::closedir(Listing);
    for (const std::string& Stray : Strays) {
        const int Handle = ::open(Stray.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (Handle < 0)
            continue;
        struct stat Info {};
        if (::fstat(Handle, &Info) == 0 && S_ISREG(Info.st_mode) && ::flock(Handle, LOCK_EX | LOCK_NB) == 0)
            ::unlink(Stray.c_str());
        ::close(Handle);
    }
}

// Writes Text to a new file beside Target, syncs it and renames it over Target.
bool ReplaceFile(const std::string& Target, TByteView Text, const struct stat* Old) {
    static std::atomic<unsigned> Counter{0};
    const auto Slash = Target.rfind('/');
    const std::string Folder = Slash == std::string::npos ? std::string() : Target.substr(0, Slash + 1);
    const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
    std::string Temporary;
    int Handle = -1;
    for (int Attempt = 0; Attempt < 100 && Handle < 0; ++Attempt) {
        Temporary = Folder + "." + Base + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter);
        // 0666 before the umask, as any new file; a replacement gets the old mode below.
        Handle = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Handle < 0 && errno != EEXIST)
            return false;
    }
    if (Handle < 0)
        return false;
    // Locked until the rename, so that another write sees the file is not a stray.
    ::flock(Handle, LOCK_EX | LOCK_NB);
    bool Done = true;
    if (Old != nullptr) {
        Done = ::fchmod(Handle, Old->st_mode & 07777) == 0;
        if (Done && (Old->st_uid != ::geteuid() || Old->st_gid != ::getegid())) {
            [[maybe_unused]] const int Ignored = ::fchown(Handle, Old->st_uid, Old->st_gid);
        }
    }
    Done = Done && WriteAll(Handle, Text) && ::fsync(Handle) == 0;
    // Renamed while still held (and locked); the data are on disk once synced.
    Done = Done && ::rename(Temporary.c_str(), Target.c_str()) == 0;
    ::close(Handle);
    if (!Done) {
        ::unlink(Temporary.c_str());
        return false;
    }
    // Make the rename itself durable; the data are safe already if this fails.
    const int Directory = ::open(DirectoryOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Directory >= 0) {
        ::fsync(Directory);
        ::close(Directory);
    }
    RemoveStrayFiles(Folder, "." + Base + ".new-");
    return true;
}

} // namespace

std::optional<TByteString> FindProfileValue(TByteView Text, TByteView Section, TByteView Key) {
    TLineReader Reader(Text);
    TLineSpan Span;
    bool InSection = false;
    bool SeenSection = false;
    while (Reader.Next(Span)) {
        const TParsedLine Line = ParseLine(ContentOf(Text, Span));
        if (Line.Kind == TLineKind::lkSection) {
            // Only the first section of the name counts.
            if (InSection)
                return std::nullopt;
            InSection = !SeenSection && SameName(Line.Name, Section);
            SeenSection = SeenSection || InSection;
        } else if (Line.Kind == TLineKind::lkKey && InSection && SameName(Line.Name, Key)) {
            return Line.Value;
        }
    }
    return std::nullopt;
}

std::optional<TByteString> SetProfileValue(TByteView Text, TByteView Section, TByteView Key, TByteView Value) {
    const auto NewKeyLine = KeyLine(Key, Value);
    const auto NewSectionLine = SectionLine(Section);
    const auto Written = ValueText(Value);
    if (!NewKeyLine || !NewSectionLine || !Written)
        return std::nullopt;
    const TByteView LineEnd = LineEndOf(Text);

    TLineReader Reader(Text);
    TLineSpan Span;
    bool InSection = false;
    std::size_t InsertAfter = NoPosition; // end of the line after which a new key goes
    std::size_t InsertContentEnd = 0;
    while (Reader.Next(Span)) {
        const TParsedLine Line = ParseLine(ContentOf(Text, Span));
        if (Line.Kind == TLineKind::lkSection) {
            if (InSection)
                break;
            if (SameName(Line.Name, Section)) {
                InSection = true;
                InsertAfter = Span.End;
                InsertContentEnd = Span.ContentEnd;
            }
        } else if (Line.Kind == TLineKind::lkKey && InSection) {
            if (SameName(Line.Name, Key)) {
                TByteString Result(Text.substr(0, Span.Begin + Line.ValueAt));
                Result += *Written;
                Result += Text.substr(Span.ContentEnd);
                return Result;
            }
            InsertAfter = Span.End;
            InsertContentEnd = Span.ContentEnd;
        }
    }

    TByteString Result;
    if (InsertAfter == NoPosition) {
        Result = Text;
        if (!Result.empty() && Result.back() != '\n')
            Result += LineEnd;
        Result += *NewSectionLine;
        Result += LineEnd;
        Result += *NewKeyLine;
        Result += LineEnd;
        return Result;
    }
    Result = Text.substr(0, InsertAfter);
    // The line before has no end only when it is the file's last.
    if (InsertContentEnd == InsertAfter)
        Result += LineEnd;
    Result += *NewKeyLine;
    Result += LineEnd;
    Result += Text.substr(InsertAfter);
    return Result;
}

std::size_t GetPrivateProfileString(const char* Section, const char* Key, const char* Default, char* Buffer,
                                    std::size_t Size, const char* FileName) {
    if (Buffer == nullptr || Size == 0)
        return 0;
    TByteString Value(Default != nullptr ? Default : "");
    if (Section != nullptr && Key != nullptr && FileName != nullptr && *FileName != '\0') {
        TByteString Text;
        struct stat Info {};
        if (ReadWholeFile(FileName, Text, Info) == TReadResult::rrRead) {
            if (auto Found = FindProfileValue(Text, Section, Key))
                Value = std::move(*Found);
        }
    }
    const auto Count = std::min(Value.size(), Size - 1);
    std::memcpy(Buffer, Value.data(), Count);
    Buffer[Count] = '\0';
    return Count;
}

bool WritePrivateProfileString(const char* Section, const char* Key, const char* Value, const char* FileName) {
    if (Section == nullptr || Key == nullptr || Value == nullptr || FileName == nullptr || *FileName == '\0')
        return false;
    const std::string Target = TargetOf(FileName);
    if (Target.empty())
        return false;

    TByteString Old;
    struct stat Info {};
    const TReadResult Read = ReadWholeFile(Target.c_str(), Old, Info);
    if (Read == TReadResult::rrFailed)
        return false;
    const bool Exists = Read == TReadResult::rrRead;
    // Root may write anywhere; a file without any write permission bit still counts as read-only.
    if (Exists && ((Info.st_mode & 0222) == 0 || ::access(Target.c_str(), W_OK) != 0))
        return false;

    const auto New = SetProfileValue(Old, Section, Key, Value);
    if (!New)
        return false;
    if (Exists && *New == Old)
        return true;
    return ReplaceFile(Target, *New, Exists ? &Info : nullptr);
}
