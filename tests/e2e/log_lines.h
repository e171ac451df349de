// The program's status-log lines and display texts as the end-to-end tests look for them.
#pragma once

const wchar_t CONNECTED[] = L"Контроллер подключен.";
const wchar_t UNKNOWN_BOARD[] = L"BOARD REVISION: It isn't known!";
const wchar_t DISCONNECTED[] = L"Контроллер отключен.";
const wchar_t READ_DONE[] = L"Данные прочитаны из контроллера.";
const wchar_t READ_FAILED[] = L"Ошибка чтения данных из контроллера.";
const wchar_t WRITTEN[] = L"Данные записаны в контроллер.";
const wchar_t DEFAULTS[] = L"Восстановлены значения по умолчанию.";
const wchar_t NOT_WORKING[] = L"Не работает";
