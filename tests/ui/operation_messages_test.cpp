// What the window says about a button's run, from the run's result.
#include <gtest/gtest.h>

#include "ui/operation_messages.h"

namespace lpt::ui {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A run's result as the operations give it; a write's read-back answered, 256 bytes compared.
OperationResult Result(OperationKind kind, int transactions, int unanswered) {
    OperationResult r{kind};
    r.transactions = transactions;
    r.unanswered = unanswered;
    const bool write = kind == OperationKind::BlockFill || kind == OperationKind::PatternWrite;
    r.readBackDone = write;
    r.readBack.answered = write;
    r.readBack.compared = write ? 256 : 0;
    return r;
}

TEST(OperationMessagesTest, AnUnansweredReadSaysHowManyAndThatItsBytesAreDoubtful) {
    EXPECT_TRUE(UnansweredWarning(Result(OperationKind::BlockRead, 8, 0)).empty());
    EXPECT_TRUE(OperationWarning(Result(OperationKind::BlockRead, 8, 0)).empty());
    const std::string warning = UnansweredWarning(Result(OperationKind::BlockRead, 8, 8));
    EXPECT_TRUE(Has(warning, "Чтение блоками"));
    EXPECT_TRUE(Has(warning, "8 из 8"));
    EXPECT_TRUE(Has(warning, "недостоверны"));
    const OperationResult bytes = Result(OperationKind::ByteRead, 2048, 2048);
    EXPECT_TRUE(Has(UnansweredWarning(bytes), "2048 из 2048"));
}

TEST(OperationMessagesTest, AWriteSaysWhatWentUnansweredAndWhatItsReadBackFound) {
    for (const OperationKind kind : {OperationKind::BlockFill, OperationKind::PatternWrite})
        EXPECT_TRUE(OperationWarning(Result(kind, 16, 0)).empty()) << OperationTitle(kind);

    OperationResult fill = Result(OperationKind::BlockFill, 16, 16);
    fill.readBack.answered = false;
    EXPECT_TRUE(Has(OperationWarning(fill), "проверить записанное не удалось"));
    EXPECT_TRUE(Has(UnansweredWarning(fill), "16 из 16"));
    EXPECT_TRUE(Has(UnansweredWarning(fill), "Запись блоками"));
    const OperationResult pattern = Result(OperationKind::PatternWrite, 256, 256);
    EXPECT_TRUE(Has(UnansweredWarning(pattern), "256 из 256"));

    // A memory that acknowledges and stores nothing (WP tied high): every byte that differs.
    OperationResult protectedFill = Result(OperationKind::BlockFill, 16, 0);
    for (int a = 0; a < 230; ++a)
        protectedFill.readBack.mismatches.push_back({a, 0xFF, static_cast<std::uint8_t>(a)});
    const std::string text = OperationWarning(protectedFill);
    EXPECT_TRUE(Has(text, "230 из 256"));
    EXPECT_TRUE(Has(text, "WP"));
    EXPECT_TRUE(Has(text, "0x003: записано FF, прочитано 03"));
    EXPECT_TRUE(Has(ReadBackWarning(protectedFill), "230 из 256"));
}

}  // namespace
}  // namespace lpt::ui
