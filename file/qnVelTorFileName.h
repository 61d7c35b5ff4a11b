#pragma once

#include <QString>

#include <string>
#include <string_view>

// The base name of a report file (its name without folder and extension),
// from a path in Shift-JIS bytes: what follows the last '\', '/' or ':',
// less everything from the name's last '.'. The second byte of a double-byte
// character is never taken for a separator, so the folder 表 (0x95 0x5C)
// does not split the path.
std::string FileBaseNameOfPath(std::string_view sjisPath);

// The same for a path as the system spells it; the result is Shift-JIS.
std::string FileBaseNameOfPath(const QString &path);

// False for the characters that a file name cannot hold on Windows or on
// Linux: / \ : * ? " < > | and the control characters. A header value
// holding one cannot travel in the report's file name.
bool CanStandInFileName(QChar c);
