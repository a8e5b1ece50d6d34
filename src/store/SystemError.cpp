#include "store/SystemError.h"

#include <cerrno>

namespace store {

namespace {

struct Reason {
    int err;
    const char *text;
};

// Some numbers have two names on Linux (EAGAIN and EWOULDBLOCK, EOPNOTSUPP
// and ENOTSUP, EDEADLK and EDEADLOCK): the first entry of a number is its
// text.
constexpr Reason kReasons[] = {
    {ENOENT, "нет такого файла или папки"},
    {EACCES, "отказано в доступе"},
    {EPERM, "операция не разрешена"},
    {EISDIR, "это папка, а не файл"},
    {ENOTDIR, "часть пути не является папкой"},
    {ENOSPC, "нет места на диске"},
    {EDQUOT, "превышена дисковая квота"},
    {EROFS, "файловая система доступна только для чтения"},
    {EIO, "ошибка ввода-вывода"},
    {EEXIST, "файл или папка с таким именем уже существует"},
    {ENOTEMPTY, "папка не пуста"},
    {EMFILE, "открыто слишком много файлов"},
    {ENFILE, "в системе открыто слишком много файлов"},
    {ENAMETOOLONG, "слишком длинное имя файла"},
    {ELOOP, "слишком много уровней символических ссылок"},
    {EBUSY, "устройство или ресурс заняты"},
    {ETXTBSY, "файл занят выполняемой программой"},
    {EFBIG, "файл слишком велик"},
    {EXDEV, "перенос между разными файловыми системами невозможен"},
    {EINVAL, "недопустимый аргумент"},
    {EAGAIN, "ресурс временно недоступен"},
    {EWOULDBLOCK, "ресурс временно недоступен"},
    {EINTR, "операция прервана"},
    {ENOMEM, "недостаточно памяти"},
    {ENXIO, "нет такого устройства или адреса"},
    {ESPIPE, "перемещение по файлу невозможно"},
    {EBADF, "неверный дескриптор файла"},
    {ENODEV, "нет такого устройства"},
    {EMLINK, "слишком много ссылок на файл"},
    {ENOLCK, "нет свободных блокировок"},
    {EDEADLK, "предотвращена взаимная блокировка"},
    {ENOSYS, "функция не реализована"},
    {EOPNOTSUPP, "операция не поддерживается"},
    {ENOTSUP, "операция не поддерживается"},
    {ENOEXEC, "неверный формат исполняемого файла"},
    {EOVERFLOW, "значение слишком велико"},
    {E2BIG, "слишком длинный список аргументов"},
    {EPIPE, "канал закрыт"},
    {ESRCH, "нет такого процесса"},
    {ENOTTY, "неподходящая операция для устройства"},
    {ETIMEDOUT, "время ожидания истекло"},
    {ECANCELED, "операция отменена"},
    {ESTALE, "файл на сетевом диске больше недоступен"},
    {ENOTCONN, "нет соединения"},
    {ECONNREFUSED, "в соединении отказано"},
    {ECONNRESET, "соединение сброшено"},
    {ENETDOWN, "сеть не работает"},
    {ENETUNREACH, "сеть недоступна"},
    {EHOSTUNREACH, "компьютер недоступен"},
    {ENOMEDIUM, "носитель не найден"},
};

} // namespace

QString systemErrorText(int err) {
    for (const Reason &r : kReasons)
        if (r.err == err)
            return QString::fromUtf8(r.text);
    return QStringLiteral("ошибка системы %1").arg(err);
}

} // namespace store
