#pragma once
// The reason of a failed system call, for the end of a message the user
// reads ("Не удалось открыть файл F1.DBF: нет такого файла или папки"). One
// text per error number, in Russian whatever the process locale, so that a
// message never mixes in the system's English texts; std::strerror and
// QFileDevice::errorString() are not shown to the user.

#include <QString>

namespace store {

// A short reason, starting with a small letter and without a full stop; an
// error number without a text of its own reads "ошибка системы N".
QString systemErrorText(int err);

} // namespace store
