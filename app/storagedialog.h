#pragma once

#include "calllog/logdatabase.h"

// Where the call log lives, as the user chose it in the storage dialog and
// the settings keep it (store/LogStorage): the SQLite file of this computer
// or a station server.
class StorageChoice
{
public:
    static LogDatabase saved();
    static void save(const LogDatabase& database);
};
