#include "ui/operation_messages.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <chrono>

#include "operations/hex_text.h"
#include "operations/memory_bus.h"

namespace lpt::ui {

namespace {

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// The operations' names are the buttons' captions, in the buttons' translation context; the
// warnings' own texts are in "OperationMessages".
std::string OperationTitle(OperationKind kind) {
    const char* caption = nullptr;
    switch (kind) {
        case OperationKind::BlockRead:
            caption = QT_TRANSLATE_NOOP("lpt::ui::Form1", "Чтение блоками");
            break;
        case OperationKind::ByteRead:
            caption = QT_TRANSLATE_NOOP("lpt::ui::Form1", "Чтение пабайтно");
            break;
        case OperationKind::BlockFill:
            caption = QT_TRANSLATE_NOOP("lpt::ui::Form1", "Запись блоками");
            break;
        case OperationKind::PatternWrite:
            caption = QT_TRANSLATE_NOOP("lpt::ui::Form1", "Запись пабайтно");
            break;
    }
    if (!caption) return {};
    return QCoreApplication::translate("lpt::ui::Form1", caption).toStdString();
}

std::string UnansweredWarning(const OperationResult& r, const MemoryGeometry& memory) {
    if (r.unanswered == 0) return {};
    const bool read = r.kind == OperationKind::BlockRead || r.kind == OperationKind::ByteRead;
    QString text = QCoreApplication::translate(
                       "OperationMessages",
                       "«%1»: память не ответила в %2 из %3 транзакций (нет подтверждения адреса "
                       "или данных).")
                       .arg(Utf8(OperationTitle(r.kind)))
                       .arg(r.unanswered)
                       .arg(r.transactions) +
                   QLatin1Char('\n');
    text += read ? QCoreApplication::translate(
                       "OperationMessages",
                       "Прочитанные данные недостоверны: байты FF могут означать, что память "
                       "просто не отвечала, а не что она чистая.")
                 : QCoreApplication::translate(
                       "OperationMessages",
                       "Записанные данные недостоверны: эти транзакции память, скорее всего, не "
                       "выполнила. Прочитайте первые %1 байт памяти, чтобы проверить.")
                       .arg(ButtonBytes(memory));
    text += QLatin1Char('\n');
    text += read ? QCoreApplication::translate(
                       "OperationMessages",
                       "Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, "
                       "15, 16 и общий провод), нет питания, память ещё занята предыдущей записью.")
                 : QCoreApplication::translate(
                       "OperationMessages",
                       "Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, "
                       "15, 16 и общий провод), нет питания, память ещё занята предыдущей записью, "
                       "запись запрещена (вывод WP памяти подключён к питанию).");
    return text.toStdString();
}

std::string ReadBackWarning(const OperationResult& r, const MemoryGeometry& memory) {
    if (!r.readBackDone) return {};
    const QString title = Utf8(OperationTitle(r.kind));
    // The chip's write-cycle limit, in whole milliseconds: "100" for a 5 ms part.
    const QString limit = QString::number(
        std::chrono::duration_cast<std::chrono::milliseconds>(memory.WriteCycleLimit()).count());
    if (!r.readBack.answered) {
        return QCoreApplication::translate(
                   "OperationMessages",
                   "«%1»: проверить записанное не удалось: при чтении первых %3 байт память не "
                   "ответила (нет подтверждения адреса) и за %2 мс так и не освободилась.\nЗапись "
                   "не подтверждена. Проверьте подключение и питание памяти.")
            .arg(title, limit)
            .arg(ButtonBytes(memory))
            .toStdString();
    }
    const auto& bad = r.readBack.mismatches;
    if (bad.empty()) return {};
    QString text = QCoreApplication::translate(
                       "OperationMessages",
                       "«%1»: проверка чтением первых %3 байт памяти: %2 из %3 байт отличаются от "
                       "записанного.")
                       .arg(title)
                       .arg(bad.size())
                       .arg(r.readBack.compared) +
                   QLatin1Char('\n');
    const size_t shown = std::min<size_t>(bad.size(), 8);
    for (size_t i = 0; i < shown; ++i) {
        text += QStringLiteral("  ") +
                QCoreApplication::translate("OperationMessages", "%1: записано %2, прочитано %3")
                    .arg(Utf8(AddressText(bad[i].address)), Utf8(ByteHex(bad[i].expected)),
                         Utf8(ByteHex(bad[i].found))) +
                QLatin1Char('\n');
    }
    if (bad.size() > shown) {
        text += QStringLiteral("  ") +
                QCoreApplication::translate("OperationMessages", "… и ещё %1")
                    .arg(bad.size() - shown) +
                QLatin1Char('\n');
    }
    text += QCoreApplication::translate(
                "OperationMessages",
                "Возможные причины: запись запрещена (вывод WP памяти подключён к питанию; такая "
                "память подтверждает байты, но не сохраняет их), память не заканчивает запись и "
                "за %1 мс ожидания, ненадёжный контакт на выводах 2, 15 или 16.")
                .arg(limit);
    return text.toStdString();
}

std::string OperationWarning(const OperationResult& r, const MemoryGeometry& memory) {
    const std::string unanswered = UnansweredWarning(r, memory);
    const std::string readBack = ReadBackWarning(r, memory);
    if (unanswered.empty() || readBack.empty()) return unanswered + readBack;
    return unanswered + "\n\n" + readBack;
}

}  // namespace lpt::ui
