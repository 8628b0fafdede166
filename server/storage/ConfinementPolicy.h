#pragma once

#include <string>

namespace vorteq::server {

// What a statement from the wire may touch, checked by SQLite while it compiles the statement:
// reading the market tables (STK_INFO, MKT_INFO, STK_UPD and the daily tables) and a few plain
// functions; nothing else. The server's own statements are not confined.
struct Confinement {
    bool confined = false;
    std::string denied; // the first thing the authorizer refused
};

// The SQLite authorizer; context is the connection's Confinement.
int authorizeConfined(void* context, int action, const char* arg3, const char* arg4, const char* dbName,
                      const char* trigger);

} // namespace vorteq::server
