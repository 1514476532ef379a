#pragma once

#include <QStringList>

struct CommandIo;

// norvel doctor [--port N] [--dir DIR]: checks the way to the station step by step (the
// device, the permission to open it, other programs holding it, the two line rates, the
// station's answer, the working directory and its lock) and says for each OK, or what is wrong
// and the command that mends it. A port another program holds is never opened: the steps that
// would open it are skipped. Exit 0 when all is well, 1 otherwise.
int RunDoctor(const QStringList& arguments, CommandIo& io);
