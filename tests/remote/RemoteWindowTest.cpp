// The remote client's window on the offscreen platform, each test in a
// temporary current directory; a fake relay on loopback where requests run.
// Error boxes are recorded through the window's hook instead of shown.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <memory>

#include "LoopbackPeer.h"
#include "remote/Un_Remote.h"

using relvane::remote::RequestOutcome;
using relvane::remote::TFrm_RelvaneRemote;
using namespace relvane::testing;
using namespace std::chrono_literals;

class RemoteWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void windowAndFieldSettings();
    void controlsAreWhereDesigned_data();
    void controlsAreWhereDesigned();
    void tabOrderFollowsTheFields();
    void portFieldTakesFiveDigitsOrBlanks_data();
    void portFieldTakesFiveDigitsOrBlanks();

    void addComboBox_data();
    void addComboBox();
    void leavingTheAddressFieldAddsItsText();

    void threadDone_data();
    void threadDone();

    void queryFillsTheFieldsFromTheRelay();
    void setSendsTheFields_data();
    void setSendsTheFields();
    void proxyHostNameRefusesEverySend();
    void unansweredSetShowsOnlyTheWindowsBox();
    void closeAbandonsRunningRequests();
    void errorBoxIsModalWithTitleFehlerAndOneOk();

private:
    static void WriteFile(const QString& name, const QByteArray& content);
    static QStringList History(const TFrm_RelvaneRemote& window);
    // The settings file of a window whose requests go to the fake relay.
    void PointAtRelay(const QByteArray& proxyHost = "127.0.0.1");
    std::unique_ptr<TFrm_RelvaneRemote> MakeWindow();

    std::unique_ptr<QTemporaryDir> Directory;
    QString PreviousDirectory;
    std::unique_ptr<LoopbackPeer> Relay;
    QStringList Boxes;
    QList<bool> BoxesOnUiThread;
};

void RemoteWindowTest::init() {
    PreviousDirectory = QDir::currentPath();
    Directory = std::make_unique<QTemporaryDir>();
    QVERIFY(Directory->isValid());
    QVERIFY(QDir::setCurrent(Directory->path()));
    Relay = std::make_unique<LoopbackPeer>();
    Boxes.clear();
    BoxesOnUiThread.clear();
}

void RemoteWindowTest::cleanup() {
    QDir::setCurrent(PreviousDirectory);
    Relay.reset();
    Directory.reset();
}

void RemoteWindowTest::WriteFile(const QString& name, const QByteArray& content) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList RemoteWindowTest::History(const TFrm_RelvaneRemote& window) {
    QStringList entries;
    for (int i = 0; i < window.ED_Address->count(); ++i) entries << window.ED_Address->itemText(i);
    return entries;
}

void RemoteWindowTest::PointAtRelay(const QByteArray& proxyHost) {
    WriteFile("relvanerc.ini", "[Proxy]\nProxyHost=" + proxyHost + "\nProxyPort=" + QByteArray::number(Relay->Port()) + "\n");
}

std::unique_ptr<TFrm_RelvaneRemote> RemoteWindowTest::MakeWindow() {
    return std::make_unique<TFrm_RelvaneRemote>([this](const QString& text) {
        Boxes << text;
        BoxesOnUiThread << (QThread::currentThread() == qApp->thread());
    });
}

void RemoteWindowTest::startUp_data() {
    QTest::addColumn<QByteArray>("ini");  // null: no settings file
    QTest::addColumn<QByteArray>("history");  // null: no history file
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("addressText");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("proxyAddress");
    QTest::addColumn<int>("proxyPort");

    QTest::newRow("no files") << QByteArray() << QByteArray() << "26000" << "" << QStringList() << "127.0.0.1" << 26000;
    QTest::newRow("hex proxy port, remote port above 65535")
        << QByteArray("[Proxy]\nProxyPort=0x6590\nRemotePort=70000\n") << QByteArray() << "4464" << ""
        << QStringList() << "127.0.0.1" << 26000;
    QTest::newRow("remote host is not added to the history")
        << QByteArray("[Proxy]\nRemoteHost=10.0.0.5\nProxyHost=10.1.2.3\nProxyPort=27500\n")
        << QByteArray("quake.example.com\r\n\r\nQUAKE.EXAMPLE.COM") << "26000" << "10.0.0.5"
        << QStringList{"quake.example.com", "", "QUAKE.EXAMPLE.COM"} << "10.1.2.3" << 27500;
    QTest::newRow("proxy host name is not looked up")
        << QByteArray("[Proxy]\nProxyHost=localhost\n") << QByteArray() << "26000" << "" << QStringList()
        << "255.255.255.255" << 26000;
}

void RemoteWindowTest::startUp() {
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, history);
    QFETCH(QString, portText);
    QFETCH(QString, addressText);
    QFETCH(QStringList, entries);
    QFETCH(QString, proxyAddress);
    QFETCH(int, proxyPort);
    if (!ini.isNull()) WriteFile("relvanerc.ini", ini);
    if (!history.isNull()) WriteFile("relvane.dat", history);
    const auto window = MakeWindow();
    QCOMPARE(window->ED_RemotePort->displayText().trimmed(), portText);
    QCOMPARE(window->ED_Address->currentText(), addressText);
    QCOMPARE(History(*window), entries);
    QCOMPARE(QString::fromStdString(relvane::FormatDottedQuad(window->Settings.ProxyAddress.Ipv4())),
             proxyAddress);
    QCOMPARE(int(window->Settings.ProxyAddress.Port()), proxyPort);
    QVERIFY(Boxes.isEmpty());
}

void RemoteWindowTest::windowAndFieldSettings() {
    const auto window = MakeWindow();
    QCOMPARE(window->objectName(), "Frm_RelvaneRemote");
    QCOMPARE(window->windowTitle(), "Relvane Remote Client");
    QCOMPARE(window->size(), QSize(353, 127));
    QCOMPARE(window->font().family(), "Arial");
    QCOMPARE(window->font().pixelSize(), 13);
    QCOMPARE(window->Panel1->geometry(), QRect(0, 0, 353, 127));
    QCOMPARE(window->Panel1->frameShadow(), QFrame::Raised);
    window->show();
    window->resize(500, 300);
    QTRY_COMPARE(window->Panel1->geometry(), QRect(0, 0, 500, 300));

    QVERIFY(window->ED_Address->isEditable());
    window->ED_Address->addItem("quake.example.com");
    QCOMPARE(window->ED_Address->view()->sizeHintForRow(0), 16);
    QCOMPARE(window->ED_RemotePort->maxLength(), 5);
    QVERIFY(window->Btn_Abfragen->isEnabled() && window->Btn_Set->isEnabled());
}

void RemoteWindowTest::controlsAreWhereDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");  // empty: none to check
    QTest::newRow("Label2") << "Label2" << QRect(12, 20, 78, 16) << "Quake Server";
    QTest::newRow("Label1") << "Label1" << QRect(12, 48, 73, 16) << "Remote Port";
    QTest::newRow("ED_Address") << "ED_Address" << QRect(108, 16, 197, 24) << "";
    QTest::newRow("ED_RemotePort") << "ED_RemotePort" << QRect(108, 44, 69, 24) << "";
    QTest::newRow("Btn_Abfragen") << "Btn_Abfragen" << QRect(108, 80, 75, 25) << "Query";
    QTest::newRow("Btn_Set") << "Btn_Set" << QRect(196, 80, 75, 25) << "Set";
}

void RemoteWindowTest::controlsAreWhereDesigned() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    const auto window = MakeWindow();
    QWidget* control = window->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->parentWidget(), window->Panel1);
    QCOMPARE(control->geometry(), geometry);
    if (caption.isEmpty()) return;
    const QVariant text = control->property("text");
    QCOMPARE(text.toString(), caption);
}

void RemoteWindowTest::tabOrderFollowsTheFields() {
    const auto window = MakeWindow();
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->ED_Address->setFocus();
    QList<QWidget*> visited;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    QCOMPARE(visited, (QList<QWidget*>{window->ED_RemotePort, window->Btn_Abfragen, window->Btn_Set}));
}

void RemoteWindowTest::portFieldTakesFiveDigitsOrBlanks_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("five digits") << "99999" << "99999";
    QTest::newRow("letters refused") << "2a7b5" << "275  ";
    QTest::newRow("sixth digit refused") << "123456" << "12345";
    QTest::newRow("nothing typed") << "" << "     ";
}

void RemoteWindowTest::portFieldTakesFiveDigitsOrBlanks() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    const auto window = MakeWindow();
    window->ED_RemotePort->clear();
    window->ED_RemotePort->setCursorPosition(0);
    QTest::keyClicks(window->ED_RemotePort, typed);
    QCOMPARE(window->ED_RemotePort->displayText(), shown);
}

void RemoteWindowTest::addComboBox_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("fieldText");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    const QStringList servers{"quake.example.com", "10.0.0.5"};
    QTest::newRow("new text first") << servers << "x" << "10.0.0.6"
                                    << QStringList{"10.0.0.6", "quake.example.com", "10.0.0.5"};
    QTest::newRow("held in another case") << servers << "x" << "QUAKE.example.COM" << servers;
    QTest::newRow("non-ASCII case") << QStringList{"ärger.example"} << "x" << "ÄRGER.EXAMPLE"
                                    << QStringList{"ärger.example"};
    QTest::newRow("trailing blank makes it new") << servers << "x" << "10.0.0.5 "
                                                 << QStringList{"10.0.0.5 ", "quake.example.com", "10.0.0.5"};
    QTest::newRow("empty text added") << servers << "x" << "" << QStringList{"", "quake.example.com", "10.0.0.5"};
    QTest::newRow("empty text held") << QStringList{"a", ""} << "x" << "" << QStringList{"a", ""};
    QTest::newRow("first entry of an empty list") << QStringList() << "typed" << "other" << QStringList{"other"};
}

void RemoteWindowTest::addComboBox() {
    QFETCH(QString, fieldText);
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const auto window = MakeWindow();
    window->ED_Address->addItems(entries);
    window->ED_Address->setEditText(fieldText);
    window->AddComboBox(text);
    QCOMPARE(History(*window), expected);
    QCOMPARE(window->ED_Address->currentText(), fieldText);
}

void RemoteWindowTest::leavingTheAddressFieldAddsItsText() {
    WriteFile("relvane.dat", "quake.example.com\n");
    const auto window = MakeWindow();
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->ED_Address->setFocus();
    QTest::keyClicks(window->ED_Address, "10.0.0.5");
    QCOMPARE(History(*window), QStringList{"quake.example.com"});  // typing alone adds nothing
    window->Btn_Set->setFocus();
    QCOMPARE(History(*window), (QStringList{"10.0.0.5", "quake.example.com"}));
    QCOMPARE(window->ED_Address->currentText(), "10.0.0.5");
}

void RemoteWindowTest::threadDone_data() {
    QTest::addColumn<int>("isQuery");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("addressText");
    QTest::newRow("answered query") << 1 << true << QStringList() << "27500" << "10.0.0.7";
    QTest::newRow("unanswered query") << 1 << false << QStringList{"Error : Couldn't query the proxy server"}
                                      << "26001" << "quake.example.com";
    QTest::newRow("answered set") << 0 << true << QStringList() << "26001" << "quake.example.com";
    QTest::newRow("unanswered set") << 0 << false << QStringList{"Error : Couldn't configure the proxy server"}
                                    << "26001" << "quake.example.com";
}

void RemoteWindowTest::threadDone() {
    QFETCH(int, isQuery);
    QFETCH(bool, answered);
    QFETCH(QStringList, boxes);
    QFETCH(QString, portText);
    QFETCH(QString, addressText);
    WriteFile("relvane.dat", "quake.example.com\n");
    WriteFile("relvanerc.ini", "[Proxy]\nRemoteHost=quake.example.com\nRemotePort=26001\n");
    const auto window = MakeWindow();
    QSignalSpy completed(window.get(), &TFrm_RelvaneRemote::RequestCompleted);
    RequestOutcome request;
    request.IsQuery = isQuery;
    request.Answered = answered;
    request.TargetAddress = {10, 0, 0, 7};
    request.TargetPort = 27500;
    window->ThreadDone(request);
    QCOMPARE(Boxes, boxes);
    QCOMPARE(window->ED_RemotePort->displayText().trimmed(), portText);
    QCOMPARE(window->ED_Address->currentText(), addressText);
    QCOMPARE(History(*window), QStringList{"quake.example.com"});
    QCOMPARE(completed.count(), 1);
}

void RemoteWindowTest::queryFillsTheFieldsFromTheRelay() {
    PointAtRelay();
    WriteFile("relvane.dat", "quake.example.com\n");
    const auto window = MakeWindow();
    window->Btn_Abfragen->click();
    const std::optional<Received> request = Relay->Receive(5s);
    QVERIFY(request.has_value());
    QCOMPARE(request->Data, Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
    QVERIFY(Relay->SendTo(request->From, Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B})));
    QTRY_COMPARE_WITH_TIMEOUT(window->ED_Address->currentText(), QString("10.0.0.7"), 10000);
    QCOMPARE(window->ED_RemotePort->displayText(), "27500");
    QCOMPARE(History(*window), QStringList{"quake.example.com"});
    QVERIFY(Boxes.isEmpty());
}

void RemoteWindowTest::setSendsTheFields_data() {
    QTest::addColumn<QString>("addressText");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<Datagram>("target");  // bytes 5 to 10 of the request
    QTest::newRow("address and port") << "192.168.0.5" << "26000" << Bytes({192, 168, 0, 5, 0x90, 0x65});
    QTest::newRow("host name is not looked up") << "localhost" << "27500" << Bytes({255, 255, 255, 255, 0x6C, 0x6B});
    QTest::newRow("blank port") << "10.0.0.7" << "" << Bytes({10, 0, 0, 7, 0x90, 0x65});
    QTest::newRow("digits with a blank between") << "10.0.0.7" << "1 2" << Bytes({10, 0, 0, 7, 0x90, 0x65});
    QTest::newRow("port above 65535") << "10.0.0.7" << "99999" << Bytes({10, 0, 0, 7, 0x9F, 0x86});
}

void RemoteWindowTest::setSendsTheFields() {
    QFETCH(QString, addressText);
    QFETCH(QString, portText);
    QFETCH(Datagram, target);
    PointAtRelay();
    const auto window = MakeWindow();
    QSignalSpy completed(window.get(), &TFrm_RelvaneRemote::RequestCompleted);
    window->ED_Address->setEditText(addressText);
    window->ED_RemotePort->setText(portText);
    const QString shownPort = window->ED_RemotePort->displayText();
    window->Btn_Set->click();

    const std::optional<Received> request = Relay->Receive(5s);
    QVERIFY(request.has_value());
    Datagram expected = Bytes({0xA0, 0, 0x0B, 0, 1});
    expected.insert(expected.end(), target.begin(), target.end());
    QCOMPARE(request->Data, expected);
    QVERIFY(Relay->SendTo(request->From, request->Data));
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 10000);
    QVERIFY(Boxes.isEmpty());
    QCOMPARE(window->ED_Address->currentText(), addressText);
    QCOMPARE(window->ED_RemotePort->displayText(), shownPort);
    QVERIFY(History(*window).isEmpty());
}

void RemoteWindowTest::proxyHostNameRefusesEverySend() {
    PointAtRelay("relay.example");
    const auto window = MakeWindow();
    QSignalSpy completed(window.get(), &TFrm_RelvaneRemote::RequestCompleted);
    window->Btn_Abfragen->click();
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 10000);
    QCOMPARE(Boxes, (QStringList{"Error : Proxy Send Error WSAError : " + QString::number(EACCES),
                                 "Error : Couldn't query the proxy server"}));
    // The request's own box came from its thread, and was shown by the UI thread.
    QCOMPARE(BoxesOnUiThread, (QList<bool>{true, true}));
}

void RemoteWindowTest::unansweredSetShowsOnlyTheWindowsBox() {
    PointAtRelay();
    const auto window = MakeWindow();
    QSignalSpy completed(window.get(), &TFrm_RelvaneRemote::RequestCompleted);
    window->Btn_Set->click();
    QVERIFY(Relay->Receive(5s).has_value());
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 10000);
    QCOMPARE(Boxes, QStringList{"Error : Couldn't configure the proxy server"});
}

void RemoteWindowTest::closeAbandonsRunningRequests() {
    PointAtRelay();
    const auto window = MakeWindow();
    QSignalSpy completed(window.get(), &TFrm_RelvaneRemote::RequestCompleted);
    window->show();
    window->Btn_Abfragen->click();
    window->Btn_Set->click();
    QVERIFY(Relay->Receive(5s).has_value());
    QVERIFY(Relay->Receive(5s).has_value());
    QElapsedTimer closing;
    closing.start();
    QVERIFY(window->close());
    // Well below the two-second wait that closing cuts short.
    QVERIFY2(closing.elapsed() < 1500, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(window->RequestCount(), size_t(0));
    QCoreApplication::processEvents();
    QCOMPARE(completed.count(), 0);
    QVERIFY(Boxes.isEmpty());
}

void RemoteWindowTest::errorBoxIsModalWithTitleFehlerAndOneOk() {
    TFrm_RelvaneRemote window;  // no hook: the real box
    window.show();
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*> buttons;
    bool modal = false;
    // Looks at the box once it is up, then dismisses it with its OK button.
    QTimer inspector;
    connect(&inspector, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        inspector.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons();
        modal = box->isModal();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
        else box->reject();
    });
    inspector.start(10);
    window.ShowModalErrorBox("Error : Couldn't query the proxy server");
    QCOMPARE(title, "Fehler");
    QCOMPARE(text, "Error : Couldn't query the proxy server");
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY(modal);
    QCOMPARE(buttons.size(), 1);
}

QTEST_MAIN(RemoteWindowTest)
#include "RemoteWindowTest.moc"
