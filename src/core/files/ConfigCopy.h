#pragma once

#include <QByteArray>
#include <optional>

#include "core/image/ConfigImage.h"

class OperatorUi;
class QString;

inline constexpr char kConfigCopyFileName[] = "Norvel.cfg";

// Loads "Norvel.cfg" into image and gives a success flag, showing its own messages. A 256-byte
// file of the older form is taken after a question, its missing half as zeros. The image is
// changed only on success.
bool ReadConfigCopy(const QString& dir, OperatorUi& ui, ConfigImage& image);

// Stores the image at the start of "Norvel.cfg" and gives a success flag, showing its own
// message. An existing file is written in place, so anything after byte 512 is kept; a missing
// one is created.
bool WriteConfigCopy(const QString& dir, OperatorUi& ui, const ConfigImage& image);

// The image in a copy file's first bytes: 512 of them, or the older form's 256 with the night
// half as zeros; none for any other length. (A longer file is read only to its 512th byte.)
std::optional<ConfigImage> ImageFromCopyBytes(const QByteArray& bytes);
