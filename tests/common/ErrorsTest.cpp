#include "Errors.h"

#include <gtest/gtest.h>

TEST(Errors, CreateErrorNamesTheFile) {
    EXPECT_STREQ(EFCreateError("jyoubun.dat").what(), "ファイル jyoubun.dat を作成できません");
}

TEST(Errors, SettingsWriteErrorNamesThePath) {
    EXPECT_EQ(ECannotWriteSettings("/opt/q/Quorvel.ini").Message(), "/opt/q/Quorvel.ini に書き込めません");
}

TEST(Errors, ClassesCarryTheirMessages) {
    EXPECT_STREQ(EReadError().what(), "ストリームからの読み込みエラー");
    EXPECT_STREQ(EWriteError().what(), "ストリームへの書き込みエラー");
    EXPECT_STREQ(ETreeViewError().what(), "不正なインデックス");
    EXPECT_STREQ(EOutOfResources().what(), "アイテムの挿入ができません");
    EXPECT_STREQ(EInvalidOperation().what(), "文字列の大きさが メモ の制限を越えました");
    EXPECT_STREQ(EOutOfMemory().what(), "メモリが足りません");
}

TEST(Errors, RunningOutOfMemoryBecomesTheProgramsOwnError) {
    const auto Throwing = [](auto Error) { return [Error]() -> int { throw Error; }; };
    try {
        TranslateOutOfMemory(Throwing(std::bad_alloc()));
        ADD_FAILURE() << "std::bad_alloc passed";
    } catch (const EOutOfMemory& Error) {
        EXPECT_STREQ(Error.what(), "メモリが足りません");
    }
    EXPECT_THROW(TranslateOutOfMemory(Throwing(std::length_error("too long"))), EOutOfMemory);
    // Other errors, the program's own included, pass unchanged; a result comes back.
    EXPECT_THROW(TranslateOutOfMemory(Throwing(EReadError())), EReadError);
    EXPECT_THROW(TranslateOutOfMemory(Throwing(std::runtime_error("other"))), std::runtime_error);
    EXPECT_EQ(TranslateOutOfMemory([] { return 42; }), 42);
}
