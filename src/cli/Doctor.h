#pragma once

#include <QStringList>

struct CommandIo;

// norvel doctor [--port N]: checks the way to the station step by step (the device, the
// permission to open it, other programs holding it, the two line rates, the station's answer)
// and says for each OK, or what is wrong and the command that mends it. Exit 0 when all is
// well, 1 otherwise.
int RunDoctor(const QStringList& arguments, CommandIo& io);
