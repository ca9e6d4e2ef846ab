#pragma once
// The program's error classes. Each carries the message the user sees in the
// error box; messages are UTF-8 here, the platform's own text encoding.
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A data file that ends early or holds a negative string length.
class EReadError : public EStreamError {
public:
    EReadError();
};

// A short write to the data file.
class EWriteError : public EStreamError {
public:
    EWriteError();
};

// A data file that cannot be created or truncated; names the file.
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& FileName);
};

// An absolute index that names no entry.
class ETreeViewError : public Exception {
public:
    ETreeViewError();
};

// An entry that the outline cannot insert.
class EOutOfResources : public Exception {
public:
    EOutOfResources();
};

// A text too large for the body editor.
class EInvalidOperation : public Exception {
public:
    EInvalidOperation();
};

// Memory exhausted.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory();
};

// Runs Work and returns its result; the standard library's ways of running out of memory
// (std::bad_alloc, std::length_error) leave it as EOutOfMemory. Other errors pass as they are.
template <class F> decltype(auto) TranslateOutOfMemory(F&& Work) {
    try {
        return std::forward<F>(Work)();
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
}

// A settings file that cannot be written; names the file.
Exception ECannotWriteSettings(const std::string& Path);

namespace Messages {
inline constexpr const char* ReadError = "ストリームからの読み込みエラー";
inline constexpr const char* WriteError = "ストリームへの書き込みエラー";
inline constexpr const char* FCreateError = "ファイル %s を作成できません";
inline constexpr const char* InvalidIndex = "不正なインデックス";
inline constexpr const char* CannotInsert = "アイテムの挿入ができません";
inline constexpr const char* MemoTooLarge = "文字列の大きさが メモ の制限を越えました";
inline constexpr const char* OutOfMemory = "メモリが足りません";
inline constexpr const char* CannotWrite = "%s に書き込めません";
inline constexpr const char* FileNotFound = "ファイルが見つかりません。";
} // namespace Messages

// Replaces the one "%s" of Format by Arg.
std::string FormatMessage(const char* Format, const std::string& Arg);
