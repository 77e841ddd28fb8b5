#include "app/logexport.h"

#include "calllog/logdatabase.h"
#include "calllog/pgcallstore.h"
#include "calllog/privatefile.h"
#include "calllog/sqlitecallstore.h"
#include "support/commandline.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

namespace {

// A local date means its midnight; a date and time without an offset is
// local time.
bool parseSince(const QString& text, qint64& ms)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10) {
        ms = QDateTime(date, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
        return true;
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid())
        return false;
    ms = time.toMSecsSinceEpoch();
    return true;
}

} // namespace

int LogExport::run(const CommandLine& options, const LogDatabase& database, QTextStream& err)
{
    const QString file = options.value(QStringLiteral("export-log"));
    if (file.isEmpty()) {
        err << "mirt-desktop: --export-log needs a file name\n";
        return 2;
    }
    CallFilter filter;
    filter.unitKey = options.value(QStringLiteral("unit"));
    const QString since = options.value(QStringLiteral("since"));
    if (options.isSet(QStringLiteral("since")) && !parseSince(since, filter.from)) {
        err << "mirt-desktop: --since wants a date such as 2024-03-05 or 2024-03-05T18:00:00+01:00, not '" << since
            << "'\n";
        return 2;
    }

    std::unique_ptr<CallStore> opened;
    if (database.isServer()) {
        PgCallStore::Options reading;
        reading.mode = CallStore::ReadOnly;
        opened = std::make_unique<PgCallStore>(database, reading);
    } else {
        if (!QFileInfo::exists(database.path)) {
            err << "mirt-desktop: there is no call log yet (" << QDir::toNativeSeparators(database.path) << ")\n";
            return 1;
        }
        SqliteCallStore::Options reading;
        reading.mode = CallStore::ReadOnly;
        opened = std::make_unique<SqliteCallStore>(database.path, reading);
    }
    CallStore& store = *opened;
    if (!store.open()) {
        err << "mirt-desktop: " << store.errorText() << "\n";
        return 1;
    }
    // Scripts read this file: no byte-order mark. Cells a spreadsheet
    // would run as formulas are guarded unless --raw asks for the values
    // as logged.
    CsvOptions csv;
    csv.guardFormulas = !options.isSet(QStringLiteral("raw"));
    int rows = 0;
    QString error;
    if (!PrivateFile::save(
            file, [&](QIODevice& out) { return store.exportCsv(filter, out, &rows, csv); }, &error)) {
        err << "mirt-desktop: "
            << (store.failure() != CallStore::NoFailure ? store.errorText()
                                                        : QStringLiteral("cannot write %1: %2").arg(file, error))
            << "\n";
        return 1;
    }
    err << "mirt-desktop: wrote " << rows << (rows == 1 ? " call" : " calls") << " to " << file << "\n";
    return 0;
}
