#pragma once

#include <QStringList>

struct CommandIo;

// norvel config show FILE [--boards N]; norvel config diff A B [--boards N]
int RunConfigCommand(const QStringList& arguments, CommandIo& io);
