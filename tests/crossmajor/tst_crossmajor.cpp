// What one Qt major writes, the other reads the same: a unit's Config file
// and a message file byte for byte, the settings (units with their
// passwords, the call log's server login, a console's window geometry)
// value for value, and settings files that an older build wrote with
// escapes. The other major's files are committed under fixtures/qt5 and
// fixtures/qt6; MIRT_WRITE_FIXTURES=<folder> writes this major's set there
// instead of comparing (escaped.conf is kept from Qt 5 only: Qt 6 writes
// no escapes).

#include "message/message.h"
#include "store/config.h"
#include "store/logstorage.h"
#include "store/unittablemodel.h"
#include "tests/support/files.h"
#include "tests/support/settings.h"

#include <QWidget>
#include <QtTest>

using namespace testsupport;

class TestCrossMajor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        const QString given = qEnvironmentVariable("MIRT_WRITE_FIXTURES");
        m_out = given.isEmpty() ? m_tmp.path() : given;
        QMap<QString, QString> config{{"unitName", "Studio Zürich – Ω"}, {"password", "pässwörd ключ 密码"}};
        QVERIFY(Config().save(m_out + "/unit.cfg", config));
        Message m(std::string("<status><line id=\"1\"/></status>"));
        m.get_child("line", 0).params().set_string("name", "Zoë Ørsted — 東京");
        m.params().set_float("gain", 0.1f);
        m.write_to_file(Message::ENC_XML, (m_out + "/message.xml").toStdString());
        m.write_to_file(Message::ENC_COMPACT, (m_out + "/message.bin").toStdString());

        UnitTableModel units;
        units.insertRows(0, 1);
        for (int column = 0; column < 3; ++column)
            units.setData(units.index(0, column), QStringList{"192.0.2.7:8080", "Jürgen", "Пароль€"}.at(column));
        units.save();
        LogStorage::save({true, "db.example", 5432, "show", "Zoë", "пароль 🔑", "require", ""});
        QWidget window;
        window.setGeometry(120, 80, 640, 480);
        settingsStore().setValue("192.0.2.7:8080/geometry", window.saveGeometry());
        QVERIFY(QFile::copy(settingsStore().fileName(), m_out + "/settings.conf"));
        // Qt 5 without an encoding writes every non-ASCII character escaped.
        QSettings escaped(m_out + "/escaped.conf", QSettings::IniFormat);
        const Utf8Settings ours(m_out + "/settings.conf", QSettings::IniFormat);
        for (const QString& key : ours.allKeys())
            escaped.setValue(key, ours.value(key));
    }

    void sameOnBothMajors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("writer");
        const QString other = QT_VERSION_MAJOR == 5 ? "qt6" : "qt5";
        for (const QString file : {"unit.cfg", "message.xml", "message.bin", "settings.conf"})
            QTest::newRow(qPrintable(file)) << file << other;
        QTest::newRow("escaped settings") << "escaped.conf"
                                          << "qt5";
    }

    void sameOnBothMajors()
    {
        QFETCH(QString, file);
        QFETCH(QString, writer);
        if (qEnvironmentVariableIsSet("MIRT_WRITE_FIXTURES"))
            QSKIP("writing fixtures");
        const QString theirs = QStringLiteral(MIRT_FIXTURES "/") + writer + "/" + file;
        if (!file.endsWith(".conf")) {
            QCOMPARE(readAll(m_out + "/" + file), readAll(theirs));
            return;
        }
        const Utf8Settings ours(m_out + "/settings.conf", QSettings::IniFormat);
        const Utf8Settings other(theirs, QSettings::IniFormat);
        QCOMPARE(other.allKeys(), ours.allKeys());
        for (const QString& key : ours.allKeys())
            QCOMPARE(other.value(key), ours.value(key));
    }

private:
    QTemporaryDir m_tmp;
    QString m_out;
};

QTEST_MAIN(TestCrossMajor)
#include "tst_crossmajor.moc"
