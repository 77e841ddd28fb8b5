#pragma once

// The few places where Qt 5.15 and Qt 6 differ in API, so that the rest of
// the tree is written once and behaves the same on both majors. Nothing else
// tests QT_VERSION.

#include <QCoreApplication>
#include <QSettings>
#include <QString>
#include <QTextStream>
#include <QVariant>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringConverter>
#else
#include <QTextCodec>

// Qt 5 hands the settings' codec one UTF-16 unit at a time, so its own UTF-8
// codec drops both halves of every character beyond the first 65,536 (an
// emoji in a password, say) and the value is saved short. This one keeps a
// high surrogate until its low half arrives; reading is plain UTF-8. The
// pending half is per thread, as two threads may write two files at once.
class SettingsUtf8Codec : public QTextCodec
{
public:
    static QTextCodec* instance()
    {
        // Qt owns and deletes registered codecs at exit.
        static QTextCodec* const codec = new SettingsUtf8Codec;
        return codec;
    }

    QByteArray name() const override { return "x-mirt-settings-utf-8"; }
    int mibEnum() const override { return -106; }

protected:
    QString convertToUnicode(const char* in, int length, ConverterState* state) const override
    {
        return utf8()->toUnicode(in, length, state);
    }
    QByteArray convertFromUnicode(const QChar* in, int length, ConverterState* state) const override
    {
        static thread_local QString pending;
        QString text = pending + QString(in, length);
        pending.clear();
        if (!text.isEmpty() && text.at(text.size() - 1).isHighSurrogate()) {
            pending = text.right(1);
            text.chop(1);
        }
        return utf8()->fromUnicode(text.constData(), text.size(), state);
    }

private:
    static QTextCodec* utf8() { return QTextCodec::codecForMib(106); }
};
#endif

// Every settings store of the program. Qt 6 reads and writes its settings
// files as UTF-8 only; Qt 5 would otherwise write non-ASCII text as escapes
// and read Qt 6's UTF-8 bytes as Latin-1, so a unit name or password saved by
// one major would come back garbled in the other. Files written escaped by
// an older build still read: the escapes are understood whatever the
// encoding. Qt 5 reads a file's values when they are first asked for, so
// setting the encoding right after construction covers every read.
class Utf8Settings : public QSettings
{
public:
    Utf8Settings(const QString& organization, const QString& application)
        : QSettings(organization, application)
    {
        useUtf8();
    }
    Utf8Settings(const QString& fileName, Format format)
        : QSettings(fileName, format)
    {
        useUtf8();
    }

private:
    void useUtf8()
    {
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        setIniCodec(SettingsUtf8Codec::instance());
#endif
    }
};

// Text written to a terminal or file through QTextStream is UTF-8 on both
// majors (Qt 5 would follow the locale).
inline void setUtf8(QTextStream& stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

// Scaling by the screen's factor, to be set before the application object
// exists. Qt 6 always scales and draws pixmaps at the device's resolution;
// Qt 5 has to be asked for both. The rounding policy (set by the caller) is
// the same on both.
inline void enableHighDpiScaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

// A typed SQL NULL for a bind value. The PostgreSQL driver sends the type
// with the parameter; an untyped null QVariant (what Qt 6 makes of the old
// QVariant(QVariant::String)) has none, and the server cannot infer it in
// every statement.
template <typename T> QVariant nullValue()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QVariant(QMetaType::fromType<T>());
#else
    return QVariant(static_cast<QVariant::Type>(qMetaTypeId<T>()));
#endif
}
