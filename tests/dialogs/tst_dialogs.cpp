#include "dialogs/aboutdialog.h"
#include "dialogs/ipconfigdialog.h"
#include "dialogs/lineconfigdialog.h"

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
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <unistd.h>

namespace {

// Stands for "no such file" in the tables below.
const QByteArray absent("<absent>");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return absent;
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    if (bytes == absent)
        return;
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

template <typename T>
T* child(QWidget* parent, const char* name)
{
    T* w = parent->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

void clickButton(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(which)->click();
}

// Ends a dialog the way a user would: "ok", "cancel", "escape" or "close".
void finish(QDialog& dialog, const QString& how)
{
    dialog.show();
    if (how == QLatin1String("ok"))
        clickButton(&dialog, QDialogButtonBox::Ok);
    else if (how == QLatin1String("cancel"))
        clickButton(&dialog, QDialogButtonBox::Cancel);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
}

// Runs fn on the modal dialog as soon as one is open.
void onModal(std::function<void(QWidget*)> fn, int attemptsLeft = 300)
{
    QTimer::singleShot(attemptsLeft == 300 ? 0 : 10, [fn, attemptsLeft] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            fn(w);
            // A failed check inside fn must not leave exec() waiting forever.
            if (QApplication::activeModalWidget() == w)
                w->close();
        } else if (attemptsLeft > 0) {
            onModal(fn, attemptsLeft - 1);
        }
    });
}

// A directory nobody but root may write; root itself is kept out by running
// the write under an unprivileged user id.
struct ReadOnlyDir {
    ReadOnlyDir()
    {
        QFile::setPermissions(outer.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadOther | QFileDevice::ExeOther);
        QDir().mkdir(path());
    }
    QString path() const { return outer.filePath(QStringLiteral("cfg")); }
    void lock() { QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther); }
    template <typename Fn>
    void asUnprivileged(Fn fn)
    {
        const bool root = ::geteuid() == 0;
        if (root && ::seteuid(65534) != 0)
            qFatal("seteuid");
        fn();
        if (root && ::seteuid(0) != 0)
            qFatal("seteuid back");
    }
    ~ReadOnlyDir() { QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); }
    QTemporaryDir outer;
};

const QStringList modeTexts{"Normal, AA Enabled", "Normal, AA Disabled", "VIP/Hotline", "Cluster",
                            "Cluster w/Busy All"};

QStringList comboTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

QList<QComboBox*> lineCombos(QWidget* dialog)
{
    QList<QComboBox*> combos;
    for (int n = 1; n <= 12; ++n)
        combos.append(child<QComboBox>(dialog, qPrintable(QStringLiteral("comboLine%1").arg(n))));
    return combos;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void forms_data();
    void forms();
    void languageChange();
    void ipOpen_data();
    void ipOpen();
    void ipSwitchModes_data();
    void ipSwitchModes();
    void ipOk_data();
    void ipOk();
    void ipEndWithoutOk_data();
    void ipEndWithoutOk();
    void ipOkUnwritable();

    void lineOpen_data();
    void lineOpen();
    void lineClustering_data();
    void lineClustering();
    void lineOk_data();
    void lineOk();
    void lineEndWithoutOk_data();
    void lineEndWithoutOk();
    void lineUpperLines();

    void aboutEnds_data();
    void aboutEnds();

private:
    QString netFile() const { return m_dir->filePath(QStringLiteral("rc.network")); }
    QString appFile() const { return m_dir->filePath(QStringLiteral("rc.app")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDialogs::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestDialogs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// ---------------------------------------------------------------- IP settings

void TestDialogs::forms_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::newRow("IP settings") << "ip" << "Configure IP Settings" << QSize(314, 273);
    QTest::newRow("line configuration") << "line" << "Line Configuration" << QSize(356, 552);
    QTest::newRow("about") << "about" << "About Ardeno MIRT" << QSize(669, 398);
}

void TestDialogs::forms()
{
    QFETCH(QString, which);
    QFETCH(QString, title);
    QFETCH(QSize, size);

    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("ip"))
        dialog = std::make_unique<IPConfigDialog>(nullptr, netFile(), appFile());
    else if (which == QLatin1String("line"))
        dialog = std::make_unique<LineConfigDialog>(nullptr, appFile());
    else
        dialog = std::make_unique<AboutDialog>();
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->size(), size);
    QVERIFY(!(dialog->windowFlags() & Qt::WindowContextHelpButtonHint));
    // The gear comes from a resource compiled into a static library.
    QVERIFY(!dialog->windowIcon().isNull());

    QCOMPARE(QString::fromLatin1(IPConfigDialog::defaultNetworkFile), QStringLiteral("/var/cfg/rc.network"));
    QCOMPARE(QString::fromLatin1(IPConfigDialog::defaultAppFile), QStringLiteral("/var/cfg/rc.app"));
    QCOMPARE(QString::fromLatin1(LineConfigDialog::defaultAppFile), QStringLiteral("/var/cfg/rc.app"));
}

void TestDialogs::languageChange()
{
    // Applying the texts again must keep what the code added to the form.
    QEvent change(QEvent::LanguageChange);
    AboutDialog about;
    QApplication::sendEvent(&about, &change);
    QCOMPARE(child<QLabel>(&about, "labelVersion")->text(), QStringLiteral("3.2"));

    LineConfigDialog lines(nullptr, appFile());
    child<QCheckBox>(&lines, "checkClustering")->click();
    QApplication::sendEvent(&lines, &change);
    for (QComboBox* combo : lineCombos(&lines))
        QCOMPARE(comboTexts(combo), modeTexts);
}

void TestDialogs::ipOpen_data()
{
    QTest::addColumn<QByteArray>("network");
    QTest::addColumn<QByteArray>("app");
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("password");

    const QByteArray rest("NET_NETMASK=255.255.255.0\nNET_GATEWAY=192.168.1.1\nNET_DNS_PRIMARY=8.8.8.8\n");
    const QStringList na{"N/A", "N/A", "N/A", "N/A"};
    QTest::newRow("DHCP") << "NET_ADDRESS=DHCP\n" + rest << QByteArray("CONFIG_GUI_PASSWORD=pw\n") << true << na
                          << "pw";
    QTest::newRow("dhcp lower case") << "NET_ADDRESS=dhcp\n" + rest << absent << true << na << "";
    QTest::newRow("Dhcp mixed case") << "NET_ADDRESS=DhCp\n" + rest << absent << true << na << "";
    QTest::newRow("static") << "NET_ADDRESS=192.168.1.50\n" + rest << QByteArray("OTHER=1\n") << false
                            << QStringList{"192.168.1.50", "255.255.255.0", "192.168.1.1", "8.8.8.8"} << "";
    QTest::newRow("blank before DHCP is static")
        << "NET_ADDRESS= DHCP\n" + rest << absent << false
        << QStringList{" DHCP", "255.255.255.0", "192.168.1.1", "8.8.8.8"} << "";
    QTest::newRow("static with missing keys")
        << QByteArray("NET_ADDRESS=10.0.0.9\n") << absent << false << QStringList{"10.0.0.9", "", "", ""} << "";
    QTest::newRow("no address key") << rest << absent << false
                                    << QStringList{"", "255.255.255.0", "192.168.1.1", "8.8.8.8"} << "";
    QTest::newRow("both files missing") << absent << absent << false << QStringList{"", "", "", ""} << "";
    QTest::newRow("password with = is skipped")
        << absent << QByteArray("CONFIG_GUI_PASSWORD=a=b\n") << false << QStringList{"", "", "", ""} << "";
    QTest::newRow("empty password") << absent << QByteArray("CONFIG_GUI_PASSWORD=\n") << false
                                    << QStringList{"", "", "", ""} << "";
}

void TestDialogs::ipOpen()
{
    QFETCH(QByteArray, network);
    QFETCH(QByteArray, app);
    QFETCH(bool, dhcp);
    QFETCH(QStringList, fields);
    QFETCH(QString, password);

    writeFile(netFile(), network);
    writeFile(appFile(), app);
    IPConfigDialog dialog(nullptr, netFile(), appFile());

    QCOMPARE(child<QRadioButton>(&dialog, "radioDHCP")->isChecked(), dhcp);
    QCOMPARE(child<QRadioButton>(&dialog, "radioStatic")->isChecked(), !dhcp);
    const char* names[] = {"lineIPAddress", "lineNetmask", "lineGateway", "lineDNS"};
    for (int i = 0; i < 4; ++i) {
        auto* line = child<QLineEdit>(&dialog, names[i]);
        QCOMPARE(line->text(), fields.at(i));
        QCOMPARE(line->isEnabled(), !dhcp);
    }
    QCOMPARE(child<QLineEdit>(&dialog, "linePassword")->text(), password);
}

void TestDialogs::ipSwitchModes_data()
{
    QTest::addColumn<QByteArray>("network");
    QTest::addColumn<QStringList>("afterStatic");

    const QByteArray rest("NET_NETMASK=255.0.0.0\nNET_GATEWAY=10.0.0.1\nNET_DNS_PRIMARY=10.0.0.2\n");
    QTest::newRow("DHCP empties the address") << "NET_ADDRESS=DHCP\n" + rest
                                              << QStringList{"", "255.0.0.0", "10.0.0.1", "10.0.0.2"};
    QTest::newRow("lower-case dhcp is shown") << "NET_ADDRESS=dhcp\n" + rest
                                              << QStringList{"dhcp", "255.0.0.0", "10.0.0.1", "10.0.0.2"};
    QTest::newRow("static restores the file") << "NET_ADDRESS=10.0.0.7\n" + rest
                                              << QStringList{"10.0.0.7", "255.0.0.0", "10.0.0.1", "10.0.0.2"};
    QTest::newRow("no file") << absent << QStringList{"", "", "", ""};
}

void TestDialogs::ipSwitchModes()
{
    QFETCH(QByteArray, network);
    QFETCH(QStringList, afterStatic);

    writeFile(netFile(), network);
    IPConfigDialog dialog(nullptr, netFile(), appFile());
    auto* dhcp = child<QRadioButton>(&dialog, "radioDHCP");
    auto* fixed = child<QRadioButton>(&dialog, "radioStatic");
    const QList<QLineEdit*> lines{child<QLineEdit>(&dialog, "lineIPAddress"), child<QLineEdit>(&dialog, "lineNetmask"),
                                  child<QLineEdit>(&dialog, "lineGateway"), child<QLineEdit>(&dialog, "lineDNS")};

    // Start on static, type over everything, go to DHCP and back: typed text
    // gives way to the file's values.
    fixed->click();
    for (QLineEdit* line : lines)
        line->setText(QStringLiteral("typed"));
    dhcp->click();
    for (QLineEdit* line : lines) {
        QCOMPARE(line->text(), QStringLiteral("N/A"));
        QVERIFY(!line->isEnabled());
    }
    fixed->click();
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(lines[i]->text(), afterStatic.at(i));
        QVERIFY(lines[i]->isEnabled());
    }
}

void TestDialogs::ipOk_data()
{
    QTest::addColumn<QByteArray>("network");
    QTest::addColumn<QByteArray>("app");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("typed"); // four fields, then the password; null keeps the shown text
    QTest::addColumn<QByteArray>("expectedNetwork");
    QTest::addColumn<QByteArray>("expectedApp");

    const QByteArray net("NET_ADDRESS=192.168.1.50\nNET_DNS_PRIMARY=8.8.8.8\nNET_GATEWAY=192.168.1.1\n"
                         "NET_NETMASK=255.255.255.0\n");
    const QByteArray app("CONFIG_GUI_PASSWORD=old\n");
    const QStringList keep{QString(), QString(), QString(), QString(), QString()};

    QTest::newRow("DHCP chosen keeps the other three")
        << net << app << "dhcp" << keep
        << QByteArray("NET_ADDRESS=DHCP\nNET_DNS_PRIMARY=8.8.8.8\nNET_GATEWAY=192.168.1.1\nNET_NETMASK=255.255.255.0\n")
        << app;
    QTest::newRow("DHCP file, Ok unchanged")
        << QByteArray("NET_ADDRESS=dhcp\nNET_NETMASK=1\n") << app << "" << keep
        << QByteArray("NET_ADDRESS=DHCP\nNET_NETMASK=1\n") << app;
    QTest::newRow("static writes the fields as typed")
        << net << app << "static" << QStringList{"10.0.0.5", "", " 255.0.0.0", "x", "new pw"}
        << QByteArray("NET_ADDRESS=10.0.0.5\nNET_DNS_PRIMARY=x\nNET_GATEWAY= 255.0.0.0\nNET_NETMASK=\n")
        << QByteArray("CONFIG_GUI_PASSWORD=new pw\n");
    QTest::newRow("static from DHCP file writes empty address")
        << QByteArray("NET_ADDRESS=DHCP\nNET_NETMASK=1\nNET_GATEWAY=2\nNET_DNS_PRIMARY=3\n") << app << "static" << keep
        << QByteArray("NET_ADDRESS=\nNET_DNS_PRIMARY=3\nNET_GATEWAY=2\nNET_NETMASK=1\n") << app;
    QTest::newRow("unknown keys kept sorted")
        << "A_FIRST=1\n" + net + "ZZ=last\n" << QByteArray("AAA=x\nCONFIG_GUI_PASSWORD=old\nCONFIG_LINE1=2\nzzz=y\n")
        << "" << keep << "A_FIRST=1\n" + net + "ZZ=last\n"
        << QByteArray("AAA=x\nCONFIG_GUI_PASSWORD=old\nCONFIG_LINE1=2\nzzz=y\n");
    QTest::newRow("malformed lines dropped, CR kept")
        << QByteArray("NET_ADDRESS=10.0.0.1\r\nbroken\nX=1=2\n") << app << "" << keep
        << QByteArray("NET_ADDRESS=10.0.0.1\r\nNET_DNS_PRIMARY=\nNET_GATEWAY=\nNET_NETMASK=\n") << app;
    QTest::newRow("no files, static")
        << absent << absent << "" << QStringList{"1.2.3.4", QString(), QString(), QString(), QString()}
        << QByteArray("NET_ADDRESS=1.2.3.4\nNET_DNS_PRIMARY=\nNET_GATEWAY=\nNET_NETMASK=\n")
        << QByteArray("CONFIG_GUI_PASSWORD=\n");
    QTest::newRow("no files, DHCP")
        << absent << absent << "dhcp" << keep << QByteArray("NET_ADDRESS=DHCP\n")
        << QByteArray("CONFIG_GUI_PASSWORD=\n");
    QTest::newRow("non-ASCII password")
        << net << app << "" << QStringList{QString(), QString(), QString(), QString(), QStringLiteral("pässwörd")}
        << net << QStringLiteral("CONFIG_GUI_PASSWORD=pässwörd\n").toUtf8();
}

void TestDialogs::ipOk()
{
    QFETCH(QByteArray, network);
    QFETCH(QByteArray, app);
    QFETCH(QString, mode);
    QFETCH(QStringList, typed);
    QFETCH(QByteArray, expectedNetwork);
    QFETCH(QByteArray, expectedApp);

    writeFile(netFile(), network);
    writeFile(appFile(), app);
    IPConfigDialog dialog(nullptr, netFile(), appFile());
    if (mode == QLatin1String("dhcp"))
        child<QRadioButton>(&dialog, "radioDHCP")->click();
    else if (mode == QLatin1String("static"))
        child<QRadioButton>(&dialog, "radioStatic")->click();
    const char* names[] = {"lineIPAddress", "lineNetmask", "lineGateway", "lineDNS", "linePassword"};
    for (int i = 0; i < 5; ++i) {
        if (!typed.at(i).isNull())
            child<QLineEdit>(&dialog, names[i])->setText(typed.at(i));
    }

    finish(dialog, QStringLiteral("ok"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(readFile(netFile()), expectedNetwork);
    QCOMPARE(readFile(appFile()), expectedApp);
}

void TestDialogs::ipEndWithoutOk_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close") << "close";
}

void TestDialogs::ipEndWithoutOk()
{
    QFETCH(QString, how);

    // Content that a save would normalise, so any write would show.
    const QByteArray network("ZZ=1\nNET_ADDRESS=DHCP\r\nbroken line\nNET_ADDRESS=10.0.0.1\n");
    const QByteArray app("b=2\na=1\nCONFIG_GUI_PASSWORD=x=y\n");
    writeFile(netFile(), network);
    writeFile(appFile(), app);
    {
        IPConfigDialog dialog(nullptr, netFile(), appFile());
        child<QRadioButton>(&dialog, "radioDHCP")->click();
        child<QLineEdit>(&dialog, "linePassword")->setText(QStringLiteral("changed"));
        finish(dialog, how);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(readFile(netFile()), network);
    QCOMPARE(readFile(appFile()), app);
}

void TestDialogs::ipOkUnwritable()
{
    ReadOnlyDir dir;
    const QString net = dir.path() + QStringLiteral("/rc.network");
    const QString app = dir.path() + QStringLiteral("/rc.app");
    const QByteArray oldNet("NET_ADDRESS=10.0.0.1\n");
    const QByteArray oldApp("CONFIG_GUI_PASSWORD=old\nKEEP=1\n");
    writeFile(net, oldNet);
    writeFile(app, oldApp);
    dir.lock();

    IPConfigDialog dialog(nullptr, net, app);
    child<QRadioButton>(&dialog, "radioDHCP")->click();
    child<QLineEdit>(&dialog, "linePassword")->setText(QStringLiteral("new"));
    dialog.show();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write"));
    dir.asUnprivileged([&] { clickButton(&dialog, QDialogButtonBox::Ok); });

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(readFile(net), oldNet);
    QCOMPARE(readFile(app), oldApp);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"rc.app", "rc.network"}));
}

// ---------------------------------------------------------- line configuration

void TestDialogs::lineOpen_data()
{
    QTest::addColumn<QByteArray>("app");
    QTest::addColumn<bool>("clustering");
    QTest::addColumn<bool>("idEnabled");
    QTest::addColumn<int>("clusterId");
    QTest::addColumn<bool>("ringSafe");
    QTest::addColumn<QList<int>>("modes");

    const QList<int> zeros{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto with = [&](int line, int mode) {
        QList<int> m = zeros;
        m[line - 1] = mode;
        return m;
    };

    QTest::newRow("missing file") << absent << false << true << 100 << false << zeros;
    QTest::newRow("empty file") << QByteArray() << false << false << 0 << false << zeros;
    QTest::newRow("clustering, line 3 busy all, ID 7")
        << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_LINE3=4\nCONFIG_CLUSTER_ID=7\n") << true << true << 7 << false
        << with(3, 4);
    QTest::newRow("line 5 cluster without clustering")
        << QByteArray("CONFIG_CLUSTERING=0\nCONFIG_LINE5=3\n") << false << false << 0 << false << with(5, -1);
    QTest::newRow("negative mode") << QByteArray("CONFIG_LINE12=-2\n") << false << false << 0 << false
                                   << with(12, -1);
    QTest::newRow("mode beyond five") << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_LINE1=5\n") << true << true << 0
                                      << false << with(1, -1);
    QTest::newRow("mode not a number") << QByteArray("CONFIG_LINE2=two\n") << false << false << 0 << false << zeros;
    QTest::newRow("every line set")
        << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_LINE1=1\nCONFIG_LINE2=2\nCONFIG_LINE3=3\nCONFIG_LINE4=4\n"
                      "CONFIG_LINE5=0\nCONFIG_LINE6=1\nCONFIG_LINE7=2\nCONFIG_LINE8=3\nCONFIG_LINE9=4\n"
                      "CONFIG_LINE10=2\nCONFIG_LINE11=1\nCONFIG_LINE12=4\n")
        << true << true << 0 << false << QList<int>{1, 2, 3, 4, 0, 1, 2, 3, 4, 2, 1, 4};
    QTest::newRow("cluster ID 300 shows 255") << QByteArray("CONFIG_CLUSTER_ID=300\n") << false << false << 255
                                              << false << zeros;
    QTest::newRow("cluster ID -5 shows 0") << QByteArray("CONFIG_CLUSTER_ID=-5\n") << false << false << 0 << false
                                           << zeros;
    QTest::newRow("cluster ID not a number") << QByteArray("CONFIG_CLUSTER_ID=7a\n") << false << false << 0 << false
                                             << zeros;
    QTest::newRow("ring safe 1") << QByteArray("CONFIG_RING_SAFE=1\n") << false << false << 0 << true << zeros;
    QTest::newRow("ring safe true") << QByteArray("CONFIG_RING_SAFE=true\n") << false << false << 0 << false << zeros;
    QTest::newRow("ring safe blank 1") << QByteArray("CONFIG_RING_SAFE= 1\n") << false << false << 0 << false
                                       << zeros;
    QTest::newRow("ring safe 01") << QByteArray("CONFIG_RING_SAFE=01\n") << false << false << 0 << false << zeros;
    QTest::newRow("ring safe 1 CR LF") << QByteArray("CONFIG_RING_SAFE=1\r\n") << false << false << 0 << false
                                       << zeros;
    QTest::newRow("clustering yes") << QByteArray("CONFIG_CLUSTERING=yes\nCONFIG_LINE1=4\n") << false << false << 0
                                    << false << with(1, -1);
}

void TestDialogs::lineOpen()
{
    QFETCH(QByteArray, app);
    QFETCH(bool, clustering);
    QFETCH(bool, idEnabled);
    QFETCH(int, clusterId);
    QFETCH(bool, ringSafe);
    QFETCH(QList<int>, modes);

    writeFile(appFile(), app);
    LineConfigDialog dialog(nullptr, appFile());
    QCOMPARE(child<QCheckBox>(&dialog, "checkClustering")->isChecked(), clustering);
    QCOMPARE(child<QSpinBox>(&dialog, "spinClusterID")->isEnabled(), idEnabled);
    QCOMPARE(child<QSpinBox>(&dialog, "spinClusterID")->value(), clusterId);
    QCOMPARE(child<QCheckBox>(&dialog, "checkRingSafe")->isChecked(), ringSafe);
    const QStringList expectedTexts = modeTexts.mid(0, clustering ? 5 : 3);
    const QList<QComboBox*> combos = lineCombos(&dialog);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(combos[i]->currentIndex(), modes[i]);
        QCOMPARE(comboTexts(combos[i]), expectedTexts);
    }
}

void TestDialogs::lineClustering_data()
{
    QTest::addColumn<bool>("startOn");
    QTest::addColumn<int>("toggles");

    QTest::newRow("off, check") << false << 1;
    QTest::newRow("off, check, uncheck") << false << 2;
    QTest::newRow("off, three toggles") << false << 3;
    QTest::newRow("on, uncheck") << true << 1;
    QTest::newRow("on, uncheck, check") << true << 2;
    QTest::newRow("on, four toggles") << true << 4;
}

void TestDialogs::lineClustering()
{
    QFETCH(bool, startOn);
    QFETCH(int, toggles);

    writeFile(appFile(), startOn ? "CONFIG_CLUSTERING=1\nCONFIG_LINE2=4\nCONFIG_LINE7=3\n" : "CONFIG_LINE2=2\n");
    LineConfigDialog dialog(nullptr, appFile());
    auto* check = child<QCheckBox>(&dialog, "checkClustering");
    auto* spin = child<QSpinBox>(&dialog, "spinClusterID");
    const QList<QComboBox*> combos = lineCombos(&dialog);

    for (int t = 0; t < toggles; ++t)
        check->click();

    const bool on = startOn != (toggles % 2 == 1);
    QCOMPARE(check->isChecked(), on);
    QCOMPARE(spin->isEnabled(), on);
    for (QComboBox* combo : combos) {
        QCOMPARE(comboTexts(combo), modeTexts.mid(0, on ? 5 : 3));
        // Whatever the combo picks after its cluster mode went, it is one it holds.
        QVERIFY(combo->currentIndex() >= 0 && combo->currentIndex() < combo->count());
    }
    // A base mode is never disturbed by the cluster modes coming and going.
    if (!startOn)
        QCOMPARE(combos[1]->currentIndex(), 2);
}

// The file Ok writes: the dialog's fifteen keys at their form defaults,
// changed by overrides, plus any other keys, one line each in key order.
static QByteArray lineFile(const QMap<QString, QString>& overrides)
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

void TestDialogs::lineOk_data()
{
    QTest::addColumn<QByteArray>("app");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QByteArray>("expected");

    // One row spelled out, to pin the character-code order of the keys.
    QTest::newRow("missing file writes the fifteen keys")
        << absent << QStringList{}
        << QByteArray("CONFIG_CLUSTERING=0\nCONFIG_CLUSTER_ID=100\nCONFIG_LINE1=0\nCONFIG_LINE10=0\nCONFIG_LINE11=0\n"
                      "CONFIG_LINE12=0\nCONFIG_LINE2=0\nCONFIG_LINE3=0\nCONFIG_LINE4=0\nCONFIG_LINE5=0\n"
                      "CONFIG_LINE6=0\nCONFIG_LINE7=0\nCONFIG_LINE8=0\nCONFIG_LINE9=0\nCONFIG_RING_SAFE=0\n");
    QTest::newRow("other keys kept in sorted places")
        << QByteArray("ZZZ=last\nCONFIG_GUI_PASSWORD=secret\nAAA=first\nCONFIG_LINE1=1\nCONFIG_M=x\n") << QStringList{}
        << lineFile({{"ZZZ", "last"}, {"CONFIG_GUI_PASSWORD", "secret"}, {"AAA", "first"}, {"CONFIG_LINE1", "1"},
                     {"CONFIG_M", "x"}});
    QTest::newRow("line 5 cluster without clustering writes -1")
        << QByteArray("CONFIG_CLUSTERING=0\nCONFIG_LINE5=3\n") << QStringList{} << lineFile({{"CONFIG_LINE5", "-1"}});
    QTest::newRow("edits")
        << QByteArray("CONFIG_CLUSTER_ID=300\nCONFIG_RING_SAFE=true\n")
        << QStringList{"clustering", "line 10 4", "line 1 2", "id 42", "ring safe"}
        << lineFile({{"CONFIG_CLUSTERING", "1"}, {"CONFIG_CLUSTER_ID", "42"}, {"CONFIG_LINE1", "2"},
                     {"CONFIG_LINE10", "4"}, {"CONFIG_RING_SAFE", "1"}});
    QTest::newRow("clamped ID written clamped")
        << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_CLUSTER_ID=300\nCONFIG_RING_SAFE=1\nCONFIG_LINE12=3\n")
        << QStringList{}
        << lineFile({{"CONFIG_CLUSTERING", "1"}, {"CONFIG_CLUSTER_ID", "255"}, {"CONFIG_RING_SAFE", "1"},
                     {"CONFIG_LINE12", "3"}});
    QTest::newRow("unchecking clustering keeps a base mode")
        << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_LINE4=2\n") << QStringList{"clustering"}
        << lineFile({{"CONFIG_LINE4", "2"}});
}

void TestDialogs::lineOk()
{
    QFETCH(QByteArray, app);
    QFETCH(QStringList, actions);
    QFETCH(QByteArray, expected);

    writeFile(appFile(), app);
    LineConfigDialog dialog(nullptr, appFile());
    for (const QString& action : qAsConst(actions)) {
        const QStringList words = action.split(QLatin1Char(' '));
        if (action == QLatin1String("clustering"))
            child<QCheckBox>(&dialog, "checkClustering")->click();
        else if (action == QLatin1String("ring safe"))
            child<QCheckBox>(&dialog, "checkRingSafe")->click();
        else if (words.first() == QLatin1String("line"))
            lineCombos(&dialog)[words[1].toInt() - 1]->setCurrentIndex(words[2].toInt());
        else if (words.first() == QLatin1String("id"))
            child<QSpinBox>(&dialog, "spinClusterID")->setValue(words[1].toInt());
        else
            QFAIL(qPrintable(action));
    }
    finish(dialog, QStringLiteral("ok"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(readFile(appFile()), expected);
}

void TestDialogs::lineEndWithoutOk_data()
{
    ipEndWithoutOk_data();
}

void TestDialogs::lineEndWithoutOk()
{
    QFETCH(QString, how);

    const QByteArray app("CONFIG_LINE5=3\nbroken\nCONFIG_GUI_PASSWORD=x\r\nA=1\n");
    writeFile(appFile(), app);
    {
        LineConfigDialog dialog(nullptr, appFile());
        child<QCheckBox>(&dialog, "checkClustering")->click();
        child<QCheckBox>(&dialog, "checkRingSafe")->click();
        finish(dialog, how);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(readFile(appFile()), app);
}

void TestDialogs::lineUpperLines()
{
    LineConfigDialog dialog(nullptr, appFile());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QList<QComboBox*> combos = lineCombos(&dialog);
    dialog.showUpperLines(false);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(combos[i]->isVisible(), i < 6);
        QCOMPARE(child<QLabel>(&dialog, qPrintable(QStringLiteral("labelLine%1").arg(i + 1)))->isVisible(), i < 6);
    }
    dialog.showUpperLines(true);
    for (QComboBox* combo : combos)
        QVERIFY(combo->isVisible());
}

// ---------------------------------------------------------------------- about

void TestDialogs::aboutEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Ok") << "ok" << int(QDialog::Accepted);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("close") << "close" << int(QDialog::Rejected);
}

void TestDialogs::aboutEnds()
{
    QFETCH(QString, how);
    QFETCH(int, result);

    AboutDialog dialog;
    onModal([how](QWidget* w) {
        QCOMPARE(child<QLabel>(w, "labelVersion")->text(), QStringLiteral("3.2"));
        QCOMPARE(child<QLabel>(w, "label")->font().weight(), 75);
        QVERIFY(child<QTextBrowser>(w, "textBrowser")->toPlainText().startsWith(QStringLiteral("MIRT")));
        if (how == QLatin1String("ok"))
            clickButton(w, QDialogButtonBox::Ok);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(w, Qt::Key_Escape);
        else
            w->close();
    });
    QCOMPARE(dialog.exec(), result);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
