#pragma once

#include <libpq-fe.h>

// The few libpq calls the sync makes on the connection Qt's PostgreSQL driver opened, looked up
// in the libpq that driver has already loaded. Linking libpq into the command would load it,
// and Kerberos, LDAP and TLS with it, into every start of every command, for the few runs that
// talk to PostgreSQL.
struct LibPq {
  decltype(&::PQstatus) status;
  decltype(&::PQexec) exec;
  decltype(&::PQresultStatus) resultStatus;
  decltype(&::PQresultErrorMessage) resultErrorMessage;
  decltype(&::PQclear) clear;
  decltype(&::PQputCopyData) putCopyData;
  decltype(&::PQputCopyEnd) putCopyEnd;
  decltype(&::PQgetResult) getResult;
  decltype(&::PQerrorMessage) errorMessage;
  decltype(&::PQcmdTuples) cmdTuples;
};

// The functions, or null when libpq cannot be loaded or lacks one of them.
const LibPq* LoadLibPq();
