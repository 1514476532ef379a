// Any help text parses into topics whose numbers, titles and texts come from their headings.
#include <cstdlib>

#include "core/files/HelpFile.h"
#include "core/files/TextFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const QString text = DecodeCp1251(
      QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  const HelpFile help = HelpFile::Parse(text);
  for (int number : help.Numbers()) {
    const std::optional<HelpTopic> topic = help.Topic(number);
    if (!topic || topic->number != number) std::abort();
    if (topic->title.contains(u'\n')) std::abort();
  }
  return 0;
}
