<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>OperationMessages</name>
    <message>
        <source>«%1»: память не ответила в %2 из %3 транзакций (нет подтверждения адреса или данных).</source>
        <translation>“%1”: the memory did not answer in %2 of %3 transactions (no acknowledge of an address or a data byte).</translation>
    </message>
    <message>
        <source>Прочитанные данные недостоверны: байты FF могут означать, что память просто не отвечала, а не что она чистая.</source>
        <translation>The data read cannot be trusted: FF bytes may only mean that the memory did not answer, not that it is blank.</translation>
    </message>
    <message>
        <source>Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, 15, 16 и общий провод), нет питания, память ещё занята предыдущей записью.</source>
        <translation>Possible causes: no chip on the bus, a wiring fault (pins 2, 15, 16 and ground), no supply, the memory still busy with an earlier write.</translation>
    </message>
    <message>
        <source>Возможные причины: нет микросхемы на шине, ошибка в подключении (выводы 2, 15, 16 и общий провод), нет питания, память ещё занята предыдущей записью, запись запрещена (вывод WP памяти подключён к питанию).</source>
        <translation>Possible causes: no chip on the bus, a wiring fault (pins 2, 15, 16 and ground), no supply, the memory still busy with an earlier write, the memory write-protected (its WP pin tied to the supply).</translation>
    </message>
    <message>
        <source>%1: записано %2, прочитано %3</source>
        <translation>%1: written %2, read %3</translation>
    </message>
    <message>
        <source>… и ещё %1</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>Возможные причины: запись запрещена (вывод WP памяти подключён к питанию; такая память подтверждает байты, но не сохраняет их), память не заканчивает запись и за %1 мс ожидания, ненадёжный контакт на выводах 2, 15 или 16.</source>
        <translation>Possible causes: the memory write-protected (its WP pin tied to the supply; such a memory acknowledges the bytes but does not store them), a memory that does not finish its write even within the %1 ms wait, a loose contact on pins 2, 15 or 16.</translation>
    </message>
    <message>
        <source>Записанные данные недостоверны: эти транзакции память, скорее всего, не выполнила. Прочитайте первые %1 байт памяти, чтобы проверить.</source>
        <translation>The data written cannot be trusted: most likely the memory did not carry out those transactions. Read the first %1 bytes of the memory to check.</translation>
    </message>
    <message>
        <source>«%1»: проверить записанное не удалось: при чтении первых %3 байт память не ответила (нет подтверждения адреса) и за %2 мс так и не освободилась.
Запись не подтверждена. Проверьте подключение и питание памяти.</source>
        <translation>“%1”: what was written could not be checked: reading the first %3 bytes, the memory did not answer (no acknowledge of its address) and was still busy after %2 ms.
The write is not confirmed. Check the wiring and the memory&apos;s supply.</translation>
    </message>
    <message>
        <source>«%1»: проверка чтением первых %3 байт памяти: %2 из %3 байт отличаются от записанного.</source>
        <translation>“%1”: read-back check of the first %3 bytes of the memory: %2 of %3 bytes differ from what was written.</translation>
    </message>
</context>
<context>
    <name>lpt::ui::Form1</name>
    <message>
        <source>Чтение блоками</source>
        <translation>Block read</translation>
    </message>
    <message>
        <source>Чтение пабайтно</source>
        <translation>Byte read</translation>
    </message>
    <message>
        <source>Поиск</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>Запись блоками</source>
        <translation>Block write</translation>
    </message>
    <message>
        <source>Запись пабайтно</source>
        <translation>Byte write</translation>
    </message>
    <message>
        <source>CLS</source>
        <translation>CLS</translation>
    </message>
    <message>
        <source>Form1</source>
        <translation>Form1</translation>
    </message>
    <message>
        <source>Ошибка на шине I2C</source>
        <translation>I2C bus error</translation>
    </message>
    <message>
        <source>Операция «%1» остановлена: больше ничего на шину не отправлено.</source>
        <translation>Operation “%1” stopped: nothing more was sent to the bus.</translation>
    </message>
    <message>
        <source>Ошибка порта</source>
        <translation>Port error</translation>
    </message>
    <message>
        <source>Операция «%1» прервана. Окно остаётся в работе: следующее нажатие снова обратится к порту.</source>
        <translation>Operation “%1” interrupted. The window stays usable: the next click tries the port again.</translation>
    </message>
    <message>
        <source>Ошибка файла</source>
        <translation>File error</translation>
    </message>
    <message>
        <source>Операция «%1» прервана.</source>
        <translation>Operation “%1” interrupted.</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Операция «%1» прервана из-за внутренней ошибки: %2</source>
        <translation>Operation “%1” interrupted by an internal error: %2</translation>
    </message>
    <message>
        <source>Операция «%1» прервана из-за неизвестной ошибки.</source>
        <translation>Operation “%1” interrupted by an unknown error.</translation>
    </message>
    <message>
        <source>Память не отвечает</source>
        <translation>The memory does not answer</translation>
    </message>
    <message>
        <source>Запуск</source>
        <translation>Start-up</translation>
    </message>
    <message>
        <source>Двоичный образ (*.bin);;Intel HEX (*.hex *.ihex);;S-record (*.srec *.s19);;Все файлы (*)</source>
        <translation>Binary image (*.bin);;Intel HEX (*.hex *.ihex);;S-record (*.srec *.s19);;All files (*)</translation>
    </message>
    <message>
        <source>… и ещё %1</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Сохранить в файл…</source>
        <translation>Save to File…</translation>
    </message>
    <message>
        <source>Копировать</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Выделить всё</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>Записать файл в память…</source>
        <translation>Write File to Memory…</translation>
    </message>
    <message>
        <source>Сравнить с файлом…</source>
        <translation>Compare with File…</translation>
    </message>
    <message>
        <source>Файл не подходит</source>
        <translation>The file cannot be used</translation>
    </message>
    <message>
        <source>В память ничего не записано.</source>
        <translation>Nothing was written to the memory.</translation>
    </message>
    <message>
        <source>Сохранить в файл</source>
        <translation>Save to file</translation>
    </message>
    <message>
        <source>Нечего сохранять</source>
        <translation>Nothing to save</translation>
    </message>
    <message>
        <source>В таблице нет полного чтения памяти (программа только что запущена, таблица очищена кнопкой CLS, чтение прервано ошибкой или память при чтении не отвечала), поэтому сохранять нечего.
Прочитайте память кнопкой «Чтение блоками» или «Чтение пабайтно» и сохраните снова.</source>
        <translation>The grid holds no complete read of the memory (the program has just started, CLS cleared the grid, an error cut the read short, or the memory did not answer during the read), so there is nothing to save.
Read the memory with “Block read” or “Byte read” and save again.</translation>
    </message>
    <message>
        <source>Сохранить прочитанное в файл</source>
        <translation>Save what was read to a file</translation>
    </message>
    <message>
        <source>Файл не сохранён</source>
        <translation>File not saved</translation>
    </message>
    <message>
        <source>Записать файл в память</source>
        <translation>Write file to memory</translation>
    </message>
    <message>
        <source>Отличается от показанного в таблице: %1 из %2 страниц по %3 байт; только они и будут записаны.</source>
        <translation>Differs from what the grid shows: %1 of %2 pages of %3 bytes; only those will be written.</translation>
    </message>
    <message>
        <source>В таблице нет полного чтения памяти: какие страницы отличаются, станет известно, когда память будет прочитана перед записью.</source>
        <translation>The grid holds no complete read of the memory: which pages differ will be known once the memory has been read before the write.</translation>
    </message>
    <message>
        <source>Записать в память файл «%1»?

Файл: %2
Данные: %3 из %4 байт памяти.
%5

Запись изменит содержимое памяти. Каждая записанная страница будет прочитана обратно и сверена с файлом.</source>
        <translation>Write the file “%1” to the memory?

File: %2
Data: %3 of the memory&apos;s %4 bytes.
%5

The write changes the memory&apos;s contents. Every page written will be read back and compared with the file.</translation>
    </message>
    <message>
        <source>Записать файл в память?</source>
        <translation>Write the file to the memory?</translation>
    </message>
    <message>
        <source>Запись файла…</source>
        <translation>Writing the file…</translation>
    </message>
    <message>
        <source>Запись файла в память</source>
        <translation>Writing the file to the memory</translation>
    </message>
    <message>
        <source>«%1»: %2 из %3 байт, осталось около %4 с</source>
        <translation>“%1”: %2 of %3 bytes, about %4 s left</translation>
    </message>
    <message>
        <source>Память уже совпадает с файлом «%1»: ни одна страница не записана.</source>
        <translation>The memory already matches the file “%1”: no page was written.</translation>
    </message>
    <message>
        <source>Файл «%1» записан в память: записано страниц — %2, совпадали и пропущены — %3.
Все записанные страницы прочитаны обратно и совпадают с файлом.</source>
        <translation>The file “%1” was written to the memory: pages written: %2, already matching and skipped: %3.
Every page written was read back and matches the file.</translation>
    </message>
    <message>
        <source>в файле</source>
        <translation>file</translation>
    </message>
    <message>
        <source>в памяти</source>
        <translation>memory</translation>
    </message>
    <message>
        <source>Запись файла</source>
        <translation>File write</translation>
    </message>
    <message>
        <source>Сравнить с файлом</source>
        <translation>Compare with file</translation>
    </message>
    <message>
        <source>Сравнить память с файлом</source>
        <translation>Compare the memory with a file</translation>
    </message>
    <message>
        <source>Сравнение с файлом</source>
        <translation>Comparison with a file</translation>
    </message>
    <message>
        <source>Память совпадает с файлом «%1»: сравнено %2 байт.</source>
        <translation>The memory matches the file “%1” (bytes compared: %2).</translation>
    </message>
    <message>
        <source>Память отличается от файла «%1»: %2 из %3 байт; в таблице они выделены цветом.
%4</source>
        <translation>The memory differs from the file “%1” in %2 of %3 bytes, marked in colour in the grid.
%4</translation>
    </message>
    <message>
        <source>Файл «%1» записан (страниц: %2), но проверка чтением нашла %3 байт, отличающихся от файла:
%4Возможные причины: запись запрещена (вывод WP памяти подключён к питанию), ненадёжный контакт на выводах 2, 15, 16, неисправная память.%5</source>
        <translation>The file “%1” was written (pages: %2), but the read-back check found bytes that differ from the file: %3.
%4Possible causes: the memory write-protected (its WP pin tied to the supply), a loose contact on pins 2, 15, 16, a faulty memory.%5</translation>
    </message>
    <message>
        <source> Кроме того, </source>
        <translation> Also: </translation>
    </message>
    <message>
        <source>Проверка кабеля…</source>
        <translation>Cable test…</translation>
    </message>
    <message>
        <source>Проверка кабеля</source>
        <translation>Cable test</translation>
    </message>
    <message>
        <source>Кабель работает так, как выбран.</source>
        <translation>The cable works as chosen.</translation>
    </message>
    <message>
        <source>Кабель работает не так, как выбран: подсказки — в отчёте ниже.</source>
        <translation>The cable does not work as chosen: the report below has hints.</translation>
    </message>
    <message>
        <source>точно</source>
        <translation>certain</translation>
    </message>
    <message>
        <source>предположение</source>
        <translation>guess</translation>
    </message>
    <message>
        <source>не определить</source>
        <translation>cannot tell</translation>
    </message>
    <message>
        <source>Микросхема</source>
        <translation>Chip</translation>
    </message>
    <message>
        <source>Определить микросхему…</source>
        <translation>Detect Chip…</translation>
    </message>
    <message>
        <source>Определить микросхему</source>
        <translation>Detect chip</translation>
    </message>
    <message>
        <source>Определение микросхемы</source>
        <translation>Chip Detection</translation>
    </message>
    <message>
        <source>Выбрать одну микросхему по этим признакам нельзя; выбрана по-прежнему %1. Выберите микросхему по надписи на корпусе в меню «Микросхема».</source>
        <translation>These signs do not point to one chip; %1 stays chosen. Choose the chip by the marking on its package in the “Chip” menu.</translation>
    </message>
    <message>
        <source>Подходит одна микросхема, %1, и она уже выбрана.</source>
        <translation>One chip fits, the %1, and it is already chosen.</translation>
    </message>
    <message>
        <source>Подходит одна микросхема: %1 (выбрана %2). Выбрать %1?</source>
        <translation>One chip fits: the %1 (the %2 is chosen). Choose the %1?</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>Неверный выбор</source>
        <translation>Choice not possible</translation>
    </message>
    <message>
        <source>Операция «%1» не выполнена.</source>
        <translation>The operation “%1” was not carried out.</translation>
    </message>
    <message>
        <source>Стандартная (100 кГц)</source>
        <translation>Standard (100 kHz)</translation>
    </message>
    <message>
        <source>Быстрая (400 кГц)</source>
        <translation>Fast (400 kHz)</translation>
    </message>
    <message>
        <source>Быстрая плюс (1 МГц)</source>
        <translation>Fast Plus (1 MHz)</translation>
    </message>
    <message>
        <source>Скорость шины</source>
        <translation>Bus Speed</translation>
    </message>
    <message>
        <source>%1 — больше, чем %2, которые даёт описание памяти %3. При её напряжении питания память может работать и так; если чтение или запись дадут ошибки, выберите в меню «Скорость шины» скорость пониже.</source>
        <translation>%1 is more than the %2 the datasheet of the %3 gives. At its supply voltage the memory may work all the same; if reads or writes fail, choose a lower speed in the “Bus Speed” menu.</translation>
    </message>
    <message>
        <source>100 кГц</source>
        <translation>100 kHz</translation>
    </message>
    <message>
        <source>400 кГц</source>
        <translation>400 kHz</translation>
    </message>
    <message>
        <source>1 МГц</source>
        <translation>1 MHz</translation>
    </message>
    <message>
        <source>
Шина на %1 может быть слишком быстрой для кабеля или питания памяти: выберите «Стандартная (100 кГц)» в меню «Скорость шины» (меню таблицы) и повторите.</source>
        <translation>
The bus at %1 may be too fast for the cable or the memory&apos;s supply: choose “Standard (100 kHz)” in the “Bus Speed” menu (the grid&apos;s menu) and try again.</translation>
    </message>
    <message>
        <source>Не для адаптера I2C ядра</source>
        <translation>Not for a kernel I2C adapter</translation>
    </message>
</context>
</TS>
