#include "calllog/callstore.h"

#include "calllog/callcsv.h"

#include <QIODevice>

#include <time.h>

CallStore::~CallStore() = default;

qint64 CallStore::monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool CallStore::isPassing(Failure failure)
{
    return failure != ReadOnlyLog && failure != TooNew && failure != Damaged;
}

bool CallStore::fail(Failure failure, const QString& text)
{
    m_failure = failure;
    m_error = text;
    return false;
}

void CallStore::clearFailure()
{
    m_failure = NoFailure;
    m_error.clear();
}

bool CallStore::exportCsv(const CallFilter& filter, QIODevice& out, int* rowCount, const CsvOptions& options)
{
    if (rowCount)
        *rowCount = 0;
    int count = 0;
    bool written = !options.byteOrderMark || out.write("\xEF\xBB\xBF") == 3;
    written = written && out.write(CallCsv::line(CallCsv::header()).toUtf8()) >= 0;
    const bool read = written && forEachCall(filter, [&](const CallRecord& r) {
                          written = out.write(CallCsv::line(CallCsv::fields(r), options.guardFormulas).toUtf8()) >= 0;
                          count += written ? 1 : 0;
                          return written;
                      });
    if (rowCount)
        *rowCount = count;
    return read && written;
}

bool CallStore::copyFrom(CallStore& from, int* copied)
{
    // In batches, each in one transaction: a copy cut short is taken up
    // again by the next without duplicates.
    const int batchSize = 500;
    int count = 0;
    QVector<Write> batch;
    const auto flush = [&] {
        if (!save(batch))
            return false;
        count += batch.size();
        batch.clear();
        return true;
    };
    bool written = true;
    const bool read = from.forEachCall(CallFilter(), [&](const CallRecord& r) {
        batch.append({r, true, 0, true});
        written = batch.size() < batchSize || flush();
        return written;
    });
    written = written && (batch.isEmpty() || flush());
    if (copied)
        *copied = count;
    if (!read)
        fail(from.failure(), from.errorText());
    return read && written;
}
