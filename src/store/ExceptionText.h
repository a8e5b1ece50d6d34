#pragma once
// The text shown for an exception: one routine for every library, so that
// it lies in the lowest one. The program's errors (store::StoreError,
// FileError, svod::SvodError, sheet::Error and the others with message())
// derive from std::exception and carry their message() in what() as UTF-8,
// so each of them reads as its message(). The standard library's own
// failures read in Russian: std::bad_alloc "Недостаточно памяти.", a
// std::system_error of the system's error numbers as the sentence of
// store::systemErrorText ("Нет места на диске.").
// An exception without a text, and one that is no std::exception, reads
// "Неизвестная ошибка.".

#include <QString>

#include <exception>

QString ExceptionText(const std::exception &error);
// The same for a caught exception of any type (std::current_exception()).
QString ExceptionText(std::exception_ptr error);
