#include "dialogs/aboutdialog.h"
#include "dialogs/ipconfigdialog.h"
#include "dialogs/lineconfigdialog.h"
#include "tests/support/modal.h"
#include "tests/support/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace testsupport;

namespace {

// Stands for "no such file" in the tables below.
const QByteArray kAbsent("<kAbsent>");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : kAbsent;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    QFile f(path);
    if (bytes != kAbsent && !(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()))
        qFatal("cannot write %s", qPrintable(path));
}

// Ends a dialog the way a user would: "ok", "cancel", "escape" or "close".
void finish(QDialog& dialog, const QString& how)
{
    dialog.show();
    if (how == QLatin1String("ok") || how == QLatin1String("cancel"))
        child<QDialogButtonBox>(&dialog, "buttonBox")
            ->button(how == QLatin1String("ok") ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
            ->click();
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
}

// The four address fields, each text followed by "*" when the field is disabled.
const char* const kAddressNames[] = {"lineIPAddress", "lineNetmask", "lineGateway", "lineDNS"};

QStringList addressFields(QWidget* dialog)
{
    QStringList shown;
    for (const char* name : kAddressNames) {
        auto* line = child<QLineEdit>(dialog, name);
        shown << line->text() + QLatin1String(line->isEnabled() ? "" : "*");
    }
    return shown;
}

const QStringList kModeTexts{"Normal, AA Enabled", "Normal, AA Disabled", "VIP/Hotline", "Cluster",
                             "Cluster w/Busy All"};

QList<QComboBox*> lineCombos(QWidget* dialog)
{
    QList<QComboBox*> combos;
    for (int n = 1; n <= 12; ++n)
        combos.append(child<QComboBox>(dialog, qPrintable(QStringLiteral("comboLine%1").arg(n))));
    return combos;
}

QStringList comboTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

// The file Ok writes: the dialog's fifteen keys at their form defaults,
// changed by overrides, plus any other keys, one line each in key order.
QByteArray lineFile(const QMap<QString, QString>& overrides)
{
    QMap<QString, QString> values{{"CONFIG_CLUSTERING", "0"}, {"CONFIG_CLUSTER_ID", "0"}, {"CONFIG_RING_SAFE", "0"}};
    for (int n = 1; n <= 12; ++n)
        values.insert(QStringLiteral("CONFIG_LINE%1").arg(n), QStringLiteral("0"));
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        values.insert(it.key(), it.value());
    QByteArray bytes;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        bytes += (it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n')).toUtf8();
    return bytes;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

    QString netFile() const { return m_dir->filePath(QStringLiteral("rc.network")); }
    QString appFile() const { return m_dir->filePath(QStringLiteral("rc.app")); }
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // What the IP dialog writes on Ok after the actions, which are "dhcp",
    // "static", "type" with the four fields and "password"; what it writes
    // after opening shows what it read.
    void ipOk_data()
    {
        QTest::addColumn<QByteArray>("network");
        QTest::addColumn<QByteArray>("app");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QByteArray>("expectedNetwork");
        QTest::addColumn<QByteArray>("expectedApp");
        const QByteArray net("NET_ADDRESS=10.0.0.5\nNET_DNS_PRIMARY=3\nNET_GATEWAY=2\nNET_NETMASK=1\n");
        const QByteArray app("CONFIG_GUI_PASSWORD=old\n");
        const QByteArray dhcpNet("NET_ADDRESS=DHCP\nNET_DNS_PRIMARY=3\nNET_GATEWAY=2\nNET_NETMASK=1\n");
        auto row = [&](const char* name, const QByteArray& network, const QStringList& actions,
                       const QByteArray& expectedNet, const QByteArray& expectedApp = {}) {
            QTest::newRow(name) << network << app << actions << expectedNet
                                << (expectedApp.isNull() ? app : expectedApp);
        };

        row("DHCP file", dhcpNet, {}, dhcpNet);
        row("dhcp in lower case is DHCP", "NET_ADDRESS=dhcp\nNET_NETMASK=1\n", {}, "NET_ADDRESS=DHCP\nNET_NETMASK=1\n");
        row("blank before DHCP is static", "NET_ADDRESS= DHCP\n", {},
            "NET_ADDRESS= DHCP\nNET_DNS_PRIMARY=\nNET_GATEWAY=\nNET_NETMASK=\n");
        row("DHCP chosen keeps the other three", net, {"dhcp"}, dhcpNet);
        row("static writes the fields as typed", net, {"static", "type 10.0.0.9|| 255.0.0.0|x", "password new pw"},
            "NET_ADDRESS=10.0.0.9\nNET_DNS_PRIMARY=x\nNET_GATEWAY= 255.0.0.0\nNET_NETMASK=\n",
            "CONFIG_GUI_PASSWORD=new pw\n");
        row("static from DHCP file writes empty address", dhcpNet, {"static"},
            "NET_ADDRESS=\nNET_DNS_PRIMARY=3\nNET_GATEWAY=2\nNET_NETMASK=1\n");
        // Going to DHCP and back restores the file's values over typed text.
        row("typed text gives way to the file", net, {"type a|b|c|d", "dhcp", "static"}, net);
        row("typed text gives way to a DHCP file", dhcpNet, {"static", "type a|b|c|d", "dhcp", "static"},
            "NET_ADDRESS=\nNET_DNS_PRIMARY=3\nNET_GATEWAY=2\nNET_NETMASK=1\n");
        row("non-ASCII password", net, {QStringLiteral("password pässwörd")}, net,
            QStringLiteral("CONFIG_GUI_PASSWORD=pässwörd\n").toUtf8());
        QTest::newRow("other keys kept sorted, malformed lines dropped, CR kept")
            << QByteArray("ZZ=last\nNET_ADDRESS=10.0.0.1\r\nbroken\nX=1=2\nA_FIRST=1\n")
            << QByteArray("zzz=y\nCONFIG_GUI_PASSWORD=old\nAAA=x\nCONFIG_LINE1=2\n") << QStringList{}
            << QByteArray("A_FIRST=1\nNET_ADDRESS=10.0.0.1\r\nNET_DNS_PRIMARY=\nNET_GATEWAY=\nNET_NETMASK=\nZZ=last\n")
            << QByteArray("AAA=x\nCONFIG_GUI_PASSWORD=old\nCONFIG_LINE1=2\nzzz=y\n");
        // Bytes that are not UTF-8 go back as they were: tst_store, configKeepsBytes.
        QTest::newRow("no files, DHCP") << kAbsent << kAbsent << QStringList{"dhcp"} << QByteArray("NET_ADDRESS=DHCP\n")
                                        << QByteArray("CONFIG_GUI_PASSWORD=\n");
    }

    void ipOk()
    {
        QFETCH(QByteArray, network);
        QFETCH(QByteArray, app);
        QFETCH(QStringList, actions);
        QFETCH(QByteArray, expectedNetwork);
        QFETCH(QByteArray, expectedApp);

        writeFile(netFile(), network);
        writeFile(appFile(), app);
        IPConfigDialog dialog(nullptr, netFile(), appFile());
        auto* radioDhcp = child<QRadioButton>(&dialog, "radioDHCP");
        auto* radioStatic = child<QRadioButton>(&dialog, "radioStatic");
        for (const QString& step : qAsConst(actions)) {
            const QString action = step.section(QLatin1Char(' '), 0, 0);
            const QString arg = step.section(QLatin1Char(' '), 1);
            if (action == QLatin1String("dhcp") || action == QLatin1String("static"))
                (action == QLatin1String("dhcp") ? radioDhcp : radioStatic)->click();
            else if (action == QLatin1String("password"))
                child<QLineEdit>(&dialog, "linePassword")->setText(arg);
            else
                for (int f = 0; f < 4; ++f)
                    child<QLineEdit>(&dialog, kAddressNames[f])->setText(arg.section(QLatin1Char('|'), f, f));
        }
        // Under DHCP the four fields show N/A and are disabled; under static all are enabled.
        QCOMPARE(radioStatic->isChecked(), !radioDhcp->isChecked());
        if (radioDhcp->isChecked())
            QCOMPARE(addressFields(&dialog), QStringList({"N/A*", "N/A*", "N/A*", "N/A*"}));
        else
            QVERIFY(!addressFields(&dialog).join(QString()).contains(QLatin1Char('*')));

        finish(dialog, "ok");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(readFile(netFile()), expectedNetwork);
        QCOMPARE(readFile(appFile()), expectedApp);
    }

    // Both files stay byte for byte when the dialogs end without Ok, or with Ok
    // on a directory the user may not write.
    void filesKept_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close") << "close";
        QTest::newRow("Ok, read-only directory") << "ok";
    }

    void filesKept()
    {
        QFETCH(QString, how);
        const bool ok = how == QLatin1String("ok");

        // Others may enter the directory: root saves under an unprivileged user id.
        QVERIFY(QFile::setPermissions(m_dir->path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QString dir = m_dir->filePath("cfg");
        QVERIFY(QDir().mkdir(dir));
        const QString net = dir + QStringLiteral("/rc.network");
        const QString app = dir + QStringLiteral("/rc.app");
        // Content that a save would normalise, so any write would show.
        const QByteArray network("ZZ=1\nNET_ADDRESS=DHCP\r\nbroken line\nNET_ADDRESS=10.0.0.1\n");
        const QByteArray appContent("b=2\nCONFIG_LINE5=3\na=1\nCONFIG_GUI_PASSWORD=x=y\r\n");
        writeFile(net, network);
        writeFile(app, appContent);
        QVERIFY(QFile::setPermissions(dir,
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                          | QFile::ReadOther | QFile::ExeOther));
        for (int i = 0; ok && i < 3; ++i)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write"));
        {
            IPConfigDialog ip(nullptr, net, app);
            // The gear comes from a resource compiled into a static library.
            QVERIFY(!ip.windowIcon().isNull());
            child<QRadioButton>(&ip, "radioDHCP")->click();
            child<QLineEdit>(&ip, "linePassword")->setText("changed");
            LineConfigDialog lines(nullptr, app);
            child<QCheckBox>(&lines, "checkClustering")->click();
            child<QCheckBox>(&lines, "checkRingSafe")->click();

            const bool root = ::geteuid() == 0;
            if (root)
                QCOMPARE(::seteuid(65534), 0);
            finish(ip, how);
            finish(lines, how);
            if (root)
                QCOMPARE(::seteuid(0), 0);
            QCOMPARE(ip.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
            QCOMPARE(lines.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
        }
        QCOMPARE(readFile(net), network);
        QCOMPARE(readFile(app), appContent);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), (QStringList{"rc.app", "rc.network"}));
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What the line dialog shows, after any actions, and what Ok then writes:
    // the fifteen keys at their defaults but for the overrides, plus the rest.
    void lineOk_data()
    {
        QTest::addColumn<QByteArray>("app");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QByteArray>("expected");
        auto row
            = [](const char* name, const QByteArray& app, const QMap<QString, QString>& overrides,
                 const QStringList& actions = {}) { QTest::newRow(name) << app << actions << lineFile(overrides); };

        row("missing file", kAbsent, {{"CONFIG_CLUSTER_ID", "100"}});
        row("other keys kept in sorted places", "ZZZ=last\nCONFIG_GUI_PASSWORD=secret\nAAA=first\nCONFIG_M=x\n",
            {{"ZZZ", "last"}, {"CONFIG_GUI_PASSWORD", "secret"}, {"AAA", "first"}, {"CONFIG_M", "x"}});
        row("clustering, line 3 busy all, ID 7", "CONFIG_CLUSTERING=1\nCONFIG_LINE3=4\nCONFIG_CLUSTER_ID=7\n",
            {{"CONFIG_CLUSTERING", "1"}, {"CONFIG_LINE3", "4"}, {"CONFIG_CLUSTER_ID", "7"}});
        row("line 5 cluster without clustering writes -1", "CONFIG_CLUSTERING=0\nCONFIG_LINE5=3\n",
            {{"CONFIG_LINE5", "-1"}});
        row("clustering yes is off", "CONFIG_CLUSTERING=yes\nCONFIG_LINE1=4\n", {{"CONFIG_LINE1", "-1"}});
        row("mode beyond five", "CONFIG_CLUSTERING=1\nCONFIG_LINE1=5\n",
            {{"CONFIG_CLUSTERING", "1"}, {"CONFIG_LINE1", "-1"}});
        row("cluster ID 300 written as 255", "CONFIG_CLUSTERING=1\nCONFIG_CLUSTER_ID=300\n",
            {{"CONFIG_CLUSTERING", "1"}, {"CONFIG_CLUSTER_ID", "255"}});
        row("cluster ID -5 written as 0", "CONFIG_CLUSTER_ID=-5\n", {});
        row("ring safe 1", "CONFIG_RING_SAFE=1\n", {{"CONFIG_RING_SAFE", "1"}});
        row("ring safe true", "CONFIG_RING_SAFE=true\n", {});
        row("ring safe 1 CR LF", "CONFIG_RING_SAFE=1\r\n", {});
        // Clustering adds the two cluster modes to all twelve combos and takes them away
        // again; a line left in one falls back to a mode its combo still holds.
        row("off, check", "CONFIG_LINE2=2\n", {{"CONFIG_CLUSTERING", "1"}, {"CONFIG_LINE2", "2"}}, {"clustering"});
        row("off, check, uncheck", "CONFIG_LINE2=2\n", {{"CONFIG_LINE2", "2"}}, {"clustering", "clustering"});
        row("on, uncheck", "CONFIG_CLUSTERING=1\nCONFIG_LINE2=4\nCONFIG_LINE7=3\n",
            {{"CONFIG_LINE2", "2"}, {"CONFIG_LINE7", "2"}}, {"clustering"});
        row("on, uncheck, check", "CONFIG_CLUSTERING=1\nCONFIG_LINE2=4\nCONFIG_LINE7=3\n",
            {{"CONFIG_CLUSTERING", "1"}, {"CONFIG_LINE2", "2"}, {"CONFIG_LINE7", "2"}}, {"clustering", "clustering"});
        row("edits", "CONFIG_CLUSTER_ID=300\nCONFIG_RING_SAFE=true\n",
            {{"CONFIG_CLUSTERING", "1"},
             {"CONFIG_CLUSTER_ID", "42"},
             {"CONFIG_LINE1", "2"},
             {"CONFIG_LINE10", "4"},
             {"CONFIG_RING_SAFE", "1"}},
            {"clustering", "line 10 4", "line 1 2", "id 42", "ring safe"});
    }

    void lineOk()
    {
        QFETCH(QByteArray, app);
        QFETCH(QStringList, actions);
        QFETCH(QByteArray, expected);

        writeFile(appFile(), app);
        LineConfigDialog dialog(nullptr, appFile());
        for (const QString& action : qAsConst(actions)) {
            const QStringList words = action.split(QLatin1Char(' '));
            if (action == QLatin1String("clustering") || action == QLatin1String("ring safe"))
                child<QCheckBox>(&dialog, action == QLatin1String("clustering") ? "checkClustering" : "checkRingSafe")
                    ->click();
            else if (words.first() == QLatin1String("line"))
                lineCombos(&dialog)[words[1].toInt() - 1]->setCurrentIndex(words[2].toInt());
            else
                child<QSpinBox>(&dialog, "spinClusterID")->setValue(words.value(1).toInt());
        }
        // Applying the texts again must keep what the code added to the combos.
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&dialog, &change);
        // The cluster ID and the two cluster modes come with clustering.
        const bool on = child<QCheckBox>(&dialog, "checkClustering")->isChecked();
        QCOMPARE(child<QSpinBox>(&dialog, "spinClusterID")->isEnabled(), on || app == kAbsent);
        for (QComboBox* combo : lineCombos(&dialog))
            QCOMPARE(comboTexts(combo), kModeTexts.mid(0, on ? 5 : 3));

        finish(dialog, "ok");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(readFile(appFile()), expected);
    }

    // The form leaves the version empty: the dialog puts it there, also
    // after the texts are applied again.
    void aboutVersion()
    {
        AboutDialog about;
        const auto shown = [&] { return child<QLabel>(&about, "labelVersion")->text(); };
        QCOMPARE(shown(), QStringLiteral("3.2"));
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&about, &change);
        QCOMPARE(shown(), QStringLiteral("3.2"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
