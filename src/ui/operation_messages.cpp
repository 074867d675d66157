#include "ui/operation_messages.h"

#include <algorithm>

#include "operations/hex_text.h"
#include "operations/memory_bus.h"

namespace lpt::ui {

std::string OperationTitle(OperationKind kind) {
    switch (kind) {
        case OperationKind::BlockRead: return "Чтение блоками";
        case OperationKind::ByteRead: return "Чтение пабайтно";
        case OperationKind::BlockFill: return "Запись блоками";
        case OperationKind::PatternWrite: return "Запись пабайтно";
    }
    return {};
}

std::string UnansweredWarning(const OperationResult& r) {
    if (r.unanswered == 0) return {};
    const bool read = r.kind == OperationKind::BlockRead || r.kind == OperationKind::ByteRead;
    std::string text = "«" + OperationTitle(r.kind) + "»: память не ответила в " +
                       std::to_string(r.unanswered) + " из " + std::to_string(r.transactions) +
                       " транзакций (нет подтверждения адреса или данных).\n";
    text += read ? "Прочитанные данные недостоверны: байты FF могут означать, что память "
                   "просто не отвечала, а не что она чистая.\n"
                 : "Записанные данные недостоверны: эти транзакции память, скорее всего, не "
                   "выполнила. Прочитайте блок 0, чтобы проверить.\n";
    text += "Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, 15, 16 и "
            "общий провод), нет питания, память ещё занята предыдущей записью";
    text += read ? "." : ", запись запрещена (вывод WP памяти подключён к питанию).";
    return text;
}

std::string ReadBackWarning(const OperationResult& r) {
    if (!r.readBackDone) return {};
    const std::string title = "«" + OperationTitle(r.kind) + "»: ";
    if (!r.readBack.answered) {
        return title + "проверить записанное не удалось: при чтении блока 0 память не ответила "
                       "(нет подтверждения адреса) и за " + WriteCycleLimitMs() +
               " мс так и не освободилась.\nЗапись не подтверждена. Проверьте подключение и "
               "питание памяти.";
    }
    const auto& bad = r.readBack.mismatches;
    if (bad.empty()) return {};
    std::string text = title + "проверка чтением: " + std::to_string(bad.size()) + " из " +
                       std::to_string(r.readBack.compared) +
                       " байт блока 0 отличаются от записанного.\n";
    const size_t shown = std::min<size_t>(bad.size(), 8);
    for (size_t i = 0; i < shown; ++i) {
        text += "  " + AddressText(bad[i].address) + ": записано " + ByteHex(bad[i].expected) +
                ", прочитано " + ByteHex(bad[i].found) + "\n";
    }
    if (bad.size() > shown) text += "  … и ещё " + std::to_string(bad.size() - shown) + "\n";
    text += "Возможные причины: запись запрещена (вывод WP памяти подключён к питанию; такая "
            "память подтверждает байты, но не сохраняет их), память не заканчивает запись и за " +
            WriteCycleLimitMs() + " мс ожидания, ненадёжный контакт на выводах 2, 15 или 16.";
    return text;
}

std::string OperationWarning(const OperationResult& r) {
    const std::string unanswered = UnansweredWarning(r);
    const std::string readBack = ReadBackWarning(r);
    if (unanswered.empty() || readBack.empty()) return unanswered + readBack;
    return unanswered + "\n\n" + readBack;
}

}  // namespace lpt::ui
