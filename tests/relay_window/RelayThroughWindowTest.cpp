// The window and the relay engine together, over real UDP sockets on
// loopback: a listener takes the target from the window's fields afresh for
// every client datagram, through window operations on the UI thread, and a
// remote-control set writes both fields.

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include "LoopbackPeer.h"
#include "WorkingDirectory.h"
#include "relay/Un_Proxy.h"
#include "shared/RemoteControlPacket.h"

using relvane::RemoteControlPacket;
using relvane::TFrm_Relvane;
using namespace relvane::testing;
using namespace std::chrono_literals;

namespace {

const Datagram ServerInfoRequest = Bytes({0x80, 0x00, 0x00, 0x0C, 0x02, 'Q', 'U', 'A', 'K', 'E', 0x00, 0x03});

// The listener waits for the UI thread while it handles a datagram, so the
// test waits for the peer on another thread and keeps the UI serving.
std::optional<Received> ReceiveWhileServingUi(LoopbackPeer& peer) {
    std::future<std::optional<Received>> received = std::async(std::launch::async, [&] { return peer.Receive(10s); });
    if (!QTest::qWaitFor([&] { return received.wait_for(0s) == std::future_status::ready; }, 15000))
        return std::nullopt;
    return received.get();
}

QStringList ComboItems(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
    return items;
}

}  // namespace

class RelayThroughWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void EachClientDatagramGoesWhereTheFieldsSayThen();
    void RemoteControlSetWritesBothFields();
    void RemoteSetEntersHistoryOnlyWithTheNextClientDatagram();
    void RemoteAllowSettingGuardsRemoteControl();
    void ClosingWhileAListenerWaitsForTheWindowEndsIt();

private:
    std::unique_ptr<TFrm_Relvane> MakeWindow(uint16_t remotePort, const QByteArray& more = {},
                                             const QByteArray& remoteHost = "127.0.0.1");
    std::unique_ptr<TemporaryWorkingDirectory> Directory;
};

void RelayThroughWindowTest::init() {
    Directory = std::make_unique<TemporaryWorkingDirectory>();
    QVERIFY(Directory->IsValid());
}

void RelayThroughWindowTest::cleanup() { Directory.reset(); }

std::unique_ptr<TFrm_Relvane> RelayThroughWindowTest::MakeWindow(uint16_t remotePort, const QByteArray& more,
                                                                const QByteArray& remoteHost) {
    const QByteArray settings = "[Proxy]\nLocalPort=0\nIPX=0\nDebug=1\nRemoteHost=" + remoteHost +
                                "\nRemotePort=" + QByteArray::number(remotePort) + "\n" + more;
    if (!Directory->WriteFile("relvane.ini", settings)) return nullptr;
    auto window = std::make_unique<TFrm_Relvane>();
    return window->Ipv4ListenerPort() != 0 ? std::move(window) : nullptr;
}

void RelayThroughWindowTest::EachClientDatagramGoesWhereTheFieldsSayThen() {
    LoopbackPeer client;
    LoopbackPeer firstServer;
    LoopbackPeer secondServer;
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(firstServer.Port());
    QVERIFY(window);
    QVERIFY(ComboItems(*window->ED_Address).isEmpty());

    QVERIFY(client.SendTo(window->Ipv4ListenerPort(), ServerInfoRequest));
    std::optional<Received> atFirst = ReceiveWhileServingUi(firstServer);
    QVERIFY(atFirst);
    QVERIFY(atFirst->Data == ServerInfoRequest);
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"127.0.0.1"});
    QCOMPARE(window->Memo1->toPlainText().split(u'\n').last(),
             QStringLiteral("Server Info Request from 127.0.0.1 Port %1").arg(client.Port()));

    // The user changes the port: the very next datagram follows it.
    window->ED_RemotePort->setText(QString::number(secondServer.Port()));
    QVERIFY(client.SendTo(window->Ipv4ListenerPort(), ServerInfoRequest));
    std::optional<Received> atSecond = ReceiveWhileServingUi(secondServer);
    QVERIFY(atSecond);
    QVERIFY(atSecond->Data == ServerInfoRequest);
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"127.0.0.1"});
}

void RelayThroughWindowTest::RemoteControlSetWritesBothFields() {
    LoopbackPeer remote;
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(26000);
    QVERIFY(window);

    const RemoteControlPacket::Bytes request = RemoteControlPacket::Set({10, 0, 0, 7}, 27500).Encode();
    QVERIFY(remote.SendTo(window->Ipv4ListenerPort(), Datagram(request.begin(), request.end())));
    std::optional<Received> reply = ReceiveWhileServingUi(remote);
    QVERIFY(reply);
    QVERIFY(reply->Data == Datagram(request.begin(), request.end()));
    QCOMPARE(window->ED_Address->currentText(), "10.0.0.7");
    QCOMPARE(window->PortText(), "27500");
    QVERIFY(ComboItems(*window->ED_Address).isEmpty());  // a set leaves the history alone
}

void RelayThroughWindowTest::RemoteSetEntersHistoryOnlyWithTheNextClientDatagram() {
    LoopbackPeer client;
    LoopbackPeer oldServer;
    LoopbackPeer newServer;
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(oldServer.Port(), {}, "localhost");
    QVERIFY(window);

    const RemoteControlPacket::Bytes request = RemoteControlPacket::Set({127, 0, 0, 1}, newServer.Port()).Encode();
    QVERIFY(client.SendTo(window->Ipv4ListenerPort(), Datagram(request.begin(), request.end())));
    QVERIFY(ReceiveWhileServingUi(client));
    QCOMPARE(window->ED_Address->currentText(), "127.0.0.1");
    QCOMPARE(window->PortText(), QString::number(newServer.Port()));
    QVERIFY(ComboItems(*window->ED_Address).isEmpty());

    // The next game datagram goes to the new target and brings its text into the history.
    QVERIFY(client.SendTo(window->Ipv4ListenerPort(), ServerInfoRequest));
    const std::optional<Received> atNew = ReceiveWhileServingUi(newServer);
    QVERIFY(atNew);
    QVERIFY(atNew->Data == ServerInfoRequest);
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"127.0.0.1"});
}

void RelayThroughWindowTest::RemoteAllowSettingGuardsRemoteControl() {
    LoopbackPeer remote;
    // An entry that is no address is reported and allows nobody.
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(26000, "RemoteAllow=10.9.9.9, quake.example\n");
    QVERIFY(window);
    const QStringList startLines = window->Memo1->toPlainText().split(u'\n');
    QCOMPARE(startLines.value(1), "RemoteAllow ignores quake.example : not an IPv4 address");

    const RemoteControlPacket::Bytes request = RemoteControlPacket::Set({10, 0, 0, 7}, 27500).Encode();
    QVERIFY(remote.SendTo(window->Ipv4ListenerPort(), Datagram(request.begin(), request.end())));
    const QString refused = QStringLiteral("Remote Control refused from 127.0.0.1 Port %1").arg(remote.Port());
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->toPlainText().split(u'\n').last(), refused, 10000);
    QCOMPARE(window->ED_Address->currentText(), "127.0.0.1");
    QCOMPARE(window->PortText(), "26000");
}

void RelayThroughWindowTest::ClosingWhileAListenerWaitsForTheWindowEndsIt() {
    LoopbackPeer client;
    LoopbackPeer server;
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(server.Port());
    QVERIFY(window);

    // The listener asks the UI thread for the server text, and this thread
    // does not serve it: the listener stays blocked until the window closes.
    QVERIFY(client.SendTo(window->Ipv4ListenerPort(), ServerInfoRequest));
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (window->PendingWindowOperations() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    QCOMPARE(window->PendingWindowOperations(), size_t{1});

    // Closing releases the listener, then joins it: a close that waited for
    // the listener while the listener waited for the window would never return.
    QVERIFY(window->close());
    QCOMPARE(window->PendingWindowOperations(), size_t{0});
}

QTEST_MAIN(RelayThroughWindowTest)
#include "RelayThroughWindowTest.moc"
