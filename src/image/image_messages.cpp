#include "image/image_messages.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <system_error>

namespace lpt {

namespace {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

std::string SystemText(int error) { return std::generic_category().message(error); }

// What a file that is not a regular file is: "a FIFO (named pipe)", "именованный канал (FIFO)".
Wording KindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return {"a folder", "папка"};
    if (S_ISFIFO(mode)) return {"a FIFO (named pipe)", "именованный канал (FIFO)"};
    if (S_ISCHR(mode)) return {"a character device", "символьное устройство"};
    if (S_ISBLK(mode)) return {"a block device", "блочное устройство"};
    if (S_ISSOCK(mode)) return {"a socket", "сокет"};
    return {"a file of an unknown kind", "файл неизвестного вида"};
}

// Hexadecimal digits an address of a memory of `size` bytes takes: 3 for 2 KB, 5 for 128 KB.
int AddressDigits(int size) {
    int digits = 1;
    for (int top = size - 1; top > 0xF; top >>= 4) ++digits;
    return digits;
}

// The memory a file was refused for: "the 24c16 (2048 bytes, 0x000-0x7FF)".
Wording MemoryText(const ImageTarget& target) {
    const int digits = AddressDigits(target.size);
    const char* chip = target.chip.c_str();
    const std::string range = Format("0x%0*X-0x%0*X", digits, 0, digits, target.size - 1);
    return {Format("the %s (%d bytes, %s)", chip, target.size, range.c_str()),
            Format("%s (%d байт, %s)", chip, target.size, range.c_str())};
}

// Where a file that does not fit leads the user.
const Wording kOtherChip{"choose the chip the file was made for (--chip) or a file for this one",
                         "выберите микросхему, для которой сделан файл, или файл для этой "
                         "микросхемы"};

FileRefusal Malformed(const Wording& what) {
    return {ImageFault::Malformed, what,
            {"the file cannot be used, take an intact copy",
             "файл нельзя использовать, возьмите исправную копию"}};
}

}  // namespace

FileRefusal CannotOpen(int error) {
    const std::string text = SystemText(error);
    return {ImageFault::CannotOpen,
            {"cannot open the file: " + text, "не удаётся открыть файл: " + text},
            {"check its name and access rights", "проверьте имя файла и права доступа"}};
}

FileRefusal NotAFile(mode_t mode) {
    const Wording kind = KindOfFile(mode);
    return {ImageFault::CannotOpen,
            {"this is " + kind.en + ", not a regular file",
             "это " + kind.ru + ", а не обычный файл"},
            {"give an image file (save the image into a file first)",
             "укажите файл образа (сначала сохраните образ в файл)"}};
}

FileRefusal TooBig(long long size, const ImageTarget& target) {
    const std::string n = std::to_string(size);
    const std::string chip = target.chip + " (" + std::to_string(target.size);
    return {ImageFault::WrongSize,
            {"the file is " + n + " bytes long, far more than any image of the " + chip +
                 " bytes) could be",
             "длина файла " + n + " байт, это намного больше любого образа " + chip + " байт)"},
            {"choose the image file", "выберите файл образа"}};
}

FileRefusal UnknownType() {
    return {ImageFault::UnknownFormat,
            {"unknown file type", "неизвестный тип файла"},
            {"name the file .bin, .hex or .srec, or choose the format",
             "дайте файлу расширение .bin, .hex или .srec или укажите формат"}};
}

FileRefusal CannotWrite(int error) {
    const std::string text = SystemText(error);
    return {ImageFault::CannotWrite,
            {"cannot write the file: " + text, "не удаётся записать файл: " + text},
            {"check that the folder exists and is writable and that the disk has room",
             "проверьте, что папка существует и доступна для записи и что на диске есть место"}};
}

FileRefusal CannotWriteTo(mode_t mode, int error) {
    const Wording kind = KindOfFile(mode);
    const std::string text = SystemText(error);
    return {ImageFault::CannotWrite,
            {"cannot write to " + kind.en + ": " + text,
             "не удаётся записать в " + kind.ru + ": " + text},
            {"check the access rights, or give the name of a file instead",
             "проверьте права доступа или укажите вместо этого имя файла"}};
}

FileRefusal NoReader() {
    return {ImageFault::CannotWrite,
            {"no process reads from the FIFO (named pipe)",
             "из именованного канала (FIFO) никто не читает"},
            {"start the program that reads it, then write again",
             "запустите читающую программу и повторите запись"}};
}

FileRefusal AFolder() {
    return {ImageFault::CannotWrite,
            {"this is a folder", "это папка"},
            {"give the name of a file in it", "укажите имя файла в ней"}};
}

FileRefusal CannotFollow(int error) {
    const std::string text = SystemText(error);
    return {ImageFault::CannotWrite,
            {"cannot follow the symbolic link: " + text,
             "не удаётся пройти по символической ссылке: " + text},
            {"check where it points", "проверьте, куда она указывает"}};
}

FileRefusal OutputFailed() {
    return {ImageFault::CannotWrite,
            {"cannot write the image", "не удаётся записать образ"},
            {"check where the output goes (a full disk, a closed pipe)",
             "проверьте, куда идёт вывод (диск заполнен, канал закрыт)"}};
}

FileRefusal WrongBinarySize(long size, const ImageTarget& target) {
    const Wording cause{Format("the file is %ld bytes long", size),
                        Format("длина файла %ld байт", size)};
    const char* chip = target.chip.c_str();
    if (target.offset)
        return {ImageFault::WrongSize, cause,
                {Format("a binary image placed at 0x%X must hold 1 to %d bytes", *target.offset,
                        target.size - *target.offset),
                 Format("двоичный образ, помещаемый с адреса 0x%X, должен содержать от 1 до %d "
                        "байт",
                        *target.offset, target.size - *target.offset)}};
    return {ImageFault::WrongSize, cause,
            {Format("a binary image of the %s must be exactly %d bytes; ", chip, target.size) +
                 kOtherChip.en,
             Format("двоичный образ %s должен быть ровно %d байт; ", chip, target.size) +
                 kOtherChip.ru}};
}

FileRefusal NoEndRecord() {
    return {ImageFault::NoEndRecord,
            {"the file ends without its end record", "файл кончается без завершающей записи"},
            {"it was probably cut off, save or copy it again",
             "вероятно, он обрезан — сохраните или скопируйте его заново"}};
}

FileRefusal BadChecksum() {
    return {ImageFault::BadChecksum,
            {"the record's checksum does not match its contents",
             "контрольная сумма записи не совпадает с её содержимым"},
            {"the file is damaged, take an intact copy",
             "файл повреждён, возьмите исправную копию"}};
}

FileRefusal NotARecord() {
    return Malformed({"this line is not a record", "строка не является записью"});
}

FileRefusal RecordsAfterEnd() {
    return Malformed({"records follow the end record", "после завершающей записи есть ещё записи"});
}

FileRefusal TextAfterEnd() {
    return Malformed({"text follows the end record", "после завершающей записи есть текст"});
}

FileRefusal NoData() {
    return Malformed({"the file holds no data records", "в файле нет записей с данными"});
}

FileRefusal Unparsed(const std::string& libraryText) {
    struct Known {
        const char* library;
        Wording ours;
    };
    static const Known kKnown[] = {
        {"hexadecimal digit expected",
         {"a hexadecimal digit was expected (the record is damaged or shorter than its length)",
          "ожидалась шестнадцатеричная цифра (запись повреждена или короче своей длины)"}},
        {"end-of-line expected",
         {"the line goes on past the record's length", "строка продолжается за концом записи"}},
        {"record type not recognised", {"unknown record type", "неизвестный тип записи"}},
    };
    for (const Known& k : kKnown)
        if (libraryText == k.library) return Malformed(k.ours);
    return Malformed({libraryText, "запись не разобрана: " + libraryText});
}

FileRefusal OutOfRange(unsigned long long address, const ImageTarget& target) {
    const Wording memory = MemoryText(target);
    return {ImageFault::OutOfRange,
            {Format("data at 0x%04llX, past the end of ", address) + memory.en,
             Format("данные для адреса 0x%04llX, за концом памяти ", address) + memory.ru},
            kOtherChip};
}

FileRefusal Overlap(unsigned long long address, int first, int second,
                    const ImageTarget& target) {
    const int digits = AddressDigits(target.size);
    return {ImageFault::Overlap,
            {Format("address 0x%0*llX is given twice, as 0x%02X and as 0x%02X", digits, address,
                    first, second),
             Format("адрес 0x%0*llX задан дважды, как 0x%02X и как 0x%02X", digits, address,
                    first, second)},
            {"the file contradicts itself", "файл противоречит сам себе"}};
}

FileRefusal CannotHandOver(const std::string& what) {
    return {ImageFault::CannotOpen,
            {"cannot hand the contents to the reader: " + what,
             "не удаётся передать содержимое для разбора: " + what},
            {}};
}

FileRefusal CannotReadBack(const std::string& what) {
    return {ImageFault::CannotOpen,
            {"cannot read the contents back: " + what, "не удаётся прочитать содержимое: " + what},
            {"try again", "повторите попытку"}};
}

FileRefusal CannotPrepare(const std::string& what) {
    return {ImageFault::CannotWrite,
            {"cannot prepare the contents: " + what, "не удаётся подготовить содержимое: " + what},
            {"free some memory and try again", "освободите память и повторите"}};
}

}  // namespace lpt
