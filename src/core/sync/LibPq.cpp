#include "core/sync/LibPq.h"

#include <QLibrary>

namespace {

template <typename Function>
bool Resolve(QLibrary& library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(library.resolve(name));
  return function != nullptr;
}

LibPq Load(bool* complete) {
  LibPq pq{};
  // The library stays loaded for the life of the program, as the driver keeps it anyway.
  static QLibrary library(QStringLiteral("pq"), 5);
  *complete =
      library.load() && Resolve(library, "PQstatus", pq.status) &&
      Resolve(library, "PQexec", pq.exec) && Resolve(library, "PQresultStatus", pq.resultStatus) &&
      Resolve(library, "PQresultErrorMessage", pq.resultErrorMessage) &&
      Resolve(library, "PQclear", pq.clear) && Resolve(library, "PQputCopyData", pq.putCopyData) &&
      Resolve(library, "PQputCopyEnd", pq.putCopyEnd) &&
      Resolve(library, "PQgetResult", pq.getResult) &&
      Resolve(library, "PQerrorMessage", pq.errorMessage) &&
      Resolve(library, "PQcmdTuples", pq.cmdTuples);
  return pq;
}

}  // namespace

const LibPq* LoadLibPq() {
  static bool complete = false;
  static const LibPq pq = Load(&complete);
  return complete ? &pq : nullptr;
}
