// The relay's main window on the offscreen platform, each test in a
// temporary current directory holding the settings and history files it
// needs. Listening ports are chosen by the system ("LocalPort=0").

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <memory>

#include "ShownWithoutPainting.h"
#include "WorkingDirectory.h"
#include "relay/Un_Proxy.h"
#include "shared/PortField.h"

using relvane::TFrm_Relvane;
using relvane::testing::TemporaryWorkingDirectory;
using namespace relvane::testing;

namespace {

// No listener at all: nothing else touches the counters or the log.
const QByteArray NoListeners = "[Proxy]\nLocalPort=0\nTCPIP=0\nIPX=0\n";
const QByteArray NoListenersWithLog = NoListeners + "Debug=1\n";

constexpr int CompactHeight = TFrm_Relvane::Panel1DesignHeight;

QStringList ComboItems(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
    return items;
}

QStringList HistoryItems(const TFrm_Relvane& window) {
    QStringList items;
    for (const std::string& entry : window.History().Items()) items << QString::fromStdString(entry);
    return items;
}

QStringList LogLines(const TFrm_Relvane& window) { return window.Memo1->toPlainText().split(u'\n'); }

}  // namespace

class TFrm_RelvaneTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void StartUpTakesSettingsAndHistory_data();
    void StartUpTakesSettingsAndHistory();
    void DebugSettingKeepsTheDesignLayoutAndLogsBannerThenListeners();
    void MegabyteFilesWithLongLinesStillStartAndTextsAreCut();
    void ListenerSettingsChooseTheListeners_data();
    void ListenerSettingsChooseTheListeners();
    void ControlsCarryTheirDesignTexts();
    void TabOrderRunsFromServerToPortToDebug();

    void DebugSwitchGrowsByDesignHeightAndShrinksByPanelHeight_data();
    void DebugSwitchGrowsByDesignHeightAndShrinksByPanelHeight();
    void DebugSwitchKeepsTheHeightOfAnEnlargedUpperPanel();
    void ResizingChangesOnlyTheLogPanel();

    void LeavingTheServerFieldAddsItsText_data();
    void LeavingTheServerFieldAddsItsText();
    void FocusLeavingTheServerFieldRunsTheExitHandler();
    void AddingToAnEmptyListKeepsTheTypedText();

    void PortFieldIsReadWithItsBlanks_data();
    void PortFieldIsReadWithItsBlanks();
    void LogKeepsItsNewestLinesUpToTheLimit();
    void RefreshShowsTheCountersSigned();
    void TimerRefreshesEverySecond();

private:
    std::unique_ptr<TFrm_Relvane> MakeWindow(const QByteArray& settings, const QByteArray& history = {});
    std::unique_ptr<TemporaryWorkingDirectory> Directory;
};

void TFrm_RelvaneTest::init() {
    Directory = std::make_unique<TemporaryWorkingDirectory>();
    QVERIFY(Directory->IsValid());
}

void TFrm_RelvaneTest::cleanup() { Directory.reset(); }

std::unique_ptr<TFrm_Relvane> TFrm_RelvaneTest::MakeWindow(const QByteArray& settings, const QByteArray& history) {
    if (!settings.isNull() && !Directory->WriteFile("relvane.ini", settings)) return nullptr;
    if (!history.isNull() && !Directory->WriteFile("relvane.dat", history)) return nullptr;
    return std::make_unique<TFrm_Relvane>();
}

// --- Start-up ----------------------------------------------------------------

void TFrm_RelvaneTest::StartUpTakesSettingsAndHistory_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("history");
    QTest::addColumn<QString>("serverText");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QStringList>("historyItems");
    QTest::addColumn<bool>("compact");

    // Without a settings file both listeners try the default port 26000; the
    // window must not depend on whether they get it.
    QTest::newRow("no files") << QByteArray() << QByteArray() << "" << "26000" << QStringList{} << true;
    QTest::newRow("port 70000 keeps its low 16 bits")
        << NoListeners + "RemotePort=70000\n" << QByteArray() << "" << "4464 " << QStringList{} << true;
    QTest::newRow("port -1 keeps its low 16 bits")
        << NoListeners + "RemotePort=-1\n" << QByteArray() << "" << "65535" << QStringList{} << true;
    QTest::newRow("hexadecimal port")
        << NoListeners + "remoteport=0x6D60\n" << QByteArray() << "" << "28000" << QStringList{} << true;
    QTest::newRow("unreadable port gives the default")
        << NoListeners + "RemotePort=27 500\n" << QByteArray() << "" << "26000" << QStringList{} << true;
    QTest::newRow("host and history with an empty line")
        << NoListeners + "RemoteHost=quake.example.net\n" << QByteArray("alpha\r\n\r\nALPHA") << "quake.example.net"
        << "26000" << QStringList{"alpha", "", "ALPHA"} << true;
    QTest::newRow("history without a host leaves the field empty")
        << NoListeners << QByteArray("alpha\nbeta\n") << "" << "26000" << QStringList{"alpha", "beta"} << true;
    QTest::newRow("unreadable debug value keeps the log hidden")
        << NoListeners + "Debug=yes\n" << QByteArray() << "" << "26000" << QStringList{} << true;
    QTest::newRow("debug shows the log")
        << NoListeners + "DEBUG=1\n" << QByteArray() << "" << "26000" << QStringList{} << false;
}

void TFrm_RelvaneTest::StartUpTakesSettingsAndHistory() {
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, history);
    QFETCH(QString, serverText);
    QFETCH(QString, portText);
    QFETCH(QStringList, historyItems);
    QFETCH(bool, compact);

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(settings, history);
    QVERIFY(window);
    QCOMPARE(window->ED_Address->currentText(), serverText);
    QCOMPARE(window->PortText(), portText);
    QCOMPARE(ComboItems(*window->ED_Address), historyItems);
    QCOMPARE(HistoryItems(*window), historyItems);
    QCOMPARE(window->CB_Debug->isChecked(), !compact);
    QCOMPARE(window->Panel2->isHidden(), compact);
    QCOMPARE(window->width(), TFrm_Relvane::DesignWidth);
    QCOMPARE(window->height(), compact ? CompactHeight : TFrm_Relvane::DesignHeight);
    QCOMPARE(window->Panel1->height(), compact ? CompactHeight : TFrm_Relvane::Panel1DesignHeight);
    QCOMPARE(window->Panel1->y(), 0);
}

void TFrm_RelvaneTest::MegabyteFilesWithLongLinesStillStartAndTextsAreCut() {
    // Several megabytes each, in lines of up to a megabyte: start-up reads
    // them whole, cuts settings texts to 1023 characters and keeps history
    // lines unchanged.
    const QByteArray longHost(3 * 1024 * 1024, 'h');
    QByteArray settings = NoListeners + "RemoteHost=" + longHost + "\n";
    for (int i = 0; i < 2000; ++i) settings += "Filler" + QByteArray::number(i) + "=" + QByteArray(1000, 'f') + "\n";
    QByteArray history;
    for (int i = 0; i < 4; ++i) history += QByteArray(1024 * 1024, static_cast<char>('a' + i)) + "\n";
    for (int i = 0; i < 20000; ++i) history += "server" + QByteArray::number(i) + ".example\r\n";

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(settings, history);
    QVERIFY(window);
    QCOMPARE(window->ED_Address->currentText(), QString(1023, u'h'));
    QCOMPARE(window->ED_Address->count(), 20004);
    QCOMPARE(window->ED_Address->itemText(0).size(), 1024 * 1024);
    QCOMPARE(window->ED_Address->itemText(20003), "server19999.example");
}

void TFrm_RelvaneTest::DebugSettingKeepsTheDesignLayoutAndLogsBannerThenListeners() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow("[Proxy]\nLocalPort=0\nDebug=1\n");
    QVERIFY(window);
    QCOMPARE(window->size(), QSize(TFrm_Relvane::DesignWidth, TFrm_Relvane::DesignHeight));
    QVERIFY(!window->Panel2->isHidden());
    QCOMPARE(window->Panel2->geometry(),
             QRect(0, TFrm_Relvane::Panel1DesignHeight, TFrm_Relvane::DesignWidth,
                   TFrm_Relvane::DesignHeight - TFrm_Relvane::Panel1DesignHeight));

    const QStringList lines = LogLines(*window);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString::fromLatin1(TFrm_Relvane::Banner));
    QVERIFY2(lines[1].startsWith("TCP/IP initialized  : "), qPrintable(lines[1]));
    QVERIFY(lines[1].endsWith(":" + QString::number(window->Ipv4ListenerPort())));
    // This host may or may not offer IPX sockets.
    QVERIFY2(lines[2] == "Setsockopt Error" || lines[2].startsWith("IPX initialized  : "), qPrintable(lines[2]));
}

void TFrm_RelvaneTest::ListenerSettingsChooseTheListeners_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("ipv4");
    QTest::addColumn<bool>("ipx");

    const QByteArray base = "[Proxy]\nLocalPort=0\nDebug=1\n";
    QTest::newRow("neither") << base + "TCPIP=0\nIPX=0\n" << false << false;
    QTest::newRow("2 counts as true") << base + "TCPIP=2\nIPX=0\n" << true << false;
    QTest::newRow("unreadable IPX gives the default true") << base + "TCPIP=0\nIPX=yes\n" << false << true;
    QTest::newRow("both by default") << base << true << true;
}

void TFrm_RelvaneTest::ListenerSettingsChooseTheListeners() {
    QFETCH(QByteArray, settings);
    QFETCH(bool, ipv4);
    QFETCH(bool, ipx);

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(settings);
    QVERIFY(window);
    QCOMPARE(window->Ipv4ListenerPort() != 0, ipv4);
    const QStringList lines = LogLines(*window);
    QCOMPARE(lines.size(), 1 + int(ipv4) + int(ipx));
    QCOMPARE(lines[0], QString::fromLatin1(TFrm_Relvane::Banner));
    if (ipv4) QVERIFY(lines[1].startsWith("TCP/IP initialized  : "));
    if (ipx) QVERIFY(lines.last() == "Setsockopt Error" || lines.last().startsWith("IPX initialized  : "));
}

void TFrm_RelvaneTest::ControlsCarryTheirDesignTexts() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListenersWithLog);
    QVERIFY(window);
    QCOMPARE(window->objectName(), "Frm_Relvane");
    QCOMPARE(window->windowTitle(), "Relvane");
    QCOMPARE(window->Label2->text(), "Quake Server");
    QCOMPARE(window->Label1->text(), "Remote Port");
    QCOMPARE(window->Label3->text(), "Connections");
    QCOMPARE(window->CB_Debug->text(), "Debug");
    QCOMPARE(window->CB_Debug->layoutDirection(), Qt::RightToLeft);  // caption left of the box
    QCOMPARE(window->Lbl_Connections->text(), "0");
    QCOMPARE(window->StatusPanels[0]->text(), "Packets from Server : 0");
    QCOMPARE(window->StatusPanels[0]->width(), 185);
    QCOMPARE(window->StatusPanels[1]->text(), "Packets from Client : 0");
    QVERIFY(window->ED_Address->isEditable());
    QCOMPARE(window->ED_Address->width(), 169);
    QCOMPARE(window->ED_RemotePort->width(), 69);
    QCOMPARE(window->Bevel1->size(), QSize(69, 21));
    QVERIFY(window->Memo1->isReadOnly());
    QCOMPARE(window->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(window->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(window->Panel4->height(), 5);
    QCOMPARE(window->Panel3->height(), 29);
    QCOMPARE(window->font().family(), "Arial");
    QCOMPARE(window->font().pixelSize(), 13);
}

void TFrm_RelvaneTest::TabOrderRunsFromServerToPortToDebug() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    QVERIFY(ShowActiveWithoutPainting(*window));
    QTRY_VERIFY(window->ED_Address->hasFocus());  // first in the tab order
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY(window->ED_RemotePort->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY(window->CB_Debug->hasFocus());
}

// --- Debug switch --------------------------------------------------------------

void TFrm_RelvaneTest::DebugSwitchGrowsByDesignHeightAndShrinksByPanelHeight_data() {
    QTest::addColumn<int>("logPanelHeight");
    QTest::addColumn<int>("finalChange");

    QTest::newRow("log panel at 136 comes back to the same height") << 136 << 0;
    QTest::newRow("log panel enlarged to 236 ends 100 lower") << 236 << -100;
    QTest::newRow("log panel shrunk to 50 ends 86 higher") << 50 << 86;
}

void TFrm_RelvaneTest::DebugSwitchGrowsByDesignHeightAndShrinksByPanelHeight() {
    QFETCH(int, logPanelHeight);
    QFETCH(int, finalChange);

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListenersWithLog);
    QVERIFY(window);
    QVERIFY(ShowWithoutPainting(*window));
    const int former = TFrm_Relvane::Panel1DesignHeight + logPanelHeight;
    window->resize(TFrm_Relvane::DesignWidth, former);
    QTRY_COMPARE(window->Panel2->height(), logPanelHeight);

    window->CB_Debug->click();
    QVERIFY(window->Panel2->isHidden());
    QTRY_COMPARE(window->height(), TFrm_Relvane::Panel1DesignHeight);
    QCOMPARE(window->Panel1->geometry(), window->rect());  // the upper panel fills the window

    window->CB_Debug->click();
    QVERIFY(!window->Panel2->isHidden());
    QTRY_COMPARE(window->height(), former + finalChange);
    QCOMPARE(window->Panel1->height(), TFrm_Relvane::Panel1DesignHeight);
    QCOMPARE(window->Panel2->geometry(), QRect(0, TFrm_Relvane::Panel1DesignHeight, TFrm_Relvane::DesignWidth,
                                               TFrm_Relvane::LogPanelDesignHeight));
}

void TFrm_RelvaneTest::DebugSwitchKeepsTheHeightOfAnEnlargedUpperPanel() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    QVERIFY(ShowWithoutPainting(*window));
    window->resize(TFrm_Relvane::DesignWidth, 150);
    QTRY_COMPARE(window->Panel1->height(), 150);

    window->CB_Debug->click();
    QTRY_COMPARE(window->height(), 150 + TFrm_Relvane::LogPanelDesignHeight);
    QCOMPARE(window->Panel1->height(), 150);
    QCOMPARE(window->Panel2->geometry().top(), 150);
    QCOMPARE(window->Panel2->height(), TFrm_Relvane::LogPanelDesignHeight);
}

void TFrm_RelvaneTest::ResizingChangesOnlyTheLogPanel() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListenersWithLog);
    QVERIFY(window);
    QVERIFY(ShowWithoutPainting(*window));
    window->resize(500, 400);
    QTRY_COMPARE(window->Panel2->height(), 400 - TFrm_Relvane::Panel1DesignHeight);
    QCOMPARE(window->Panel1->geometry(), QRect(0, 0, 500, TFrm_Relvane::Panel1DesignHeight));
    QCOMPARE(window->Panel2->width(), 500);
}

// --- History -------------------------------------------------------------------

void TFrm_RelvaneTest::LeavingTheServerFieldAddsItsText_data() {
    QTest::addColumn<QByteArray>("history");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    const QByteArray mixed = "quake.example.net\n\nQUAKE.EXAMPLE.NET\n";
    const QStringList mixedItems{"quake.example.net", "", "QUAKE.EXAMPLE.NET"};
    QTest::newRow("a third mix of case adds nothing") << mixed << "Quake.Example.Net" << mixedItems;
    QTest::newRow("a trailing blank makes a new text")
        << mixed << "quake.example.net " << QStringList{"quake.example.net "} + mixedItems;
    QTest::newRow("an empty text already listed") << mixed << "" << mixedItems;
    QTest::newRow("an empty text goes to the top once") << QByteArray("alpha\n") << "" << QStringList{"", "alpha"};
    QTest::newRow("case of letters beyond ASCII")
        << QByteArray("\xc3\x84rger.example\n") << QString::fromUtf8("\xc3\xa4RGER.example")
        << QStringList{QString::fromUtf8("\xc3\x84rger.example")};
    QTest::newRow("a new text into an empty list") << QByteArray() << "10.0.0.7" << QStringList{"10.0.0.7"};
}

void TFrm_RelvaneTest::LeavingTheServerFieldAddsItsText() {
    QFETCH(QByteArray, history);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners, history);
    QVERIFY(window);
    window->ED_Address->setEditText(text);
    window->ED_AddressExit();
    QCOMPARE(ComboItems(*window->ED_Address), expected);
    QCOMPARE(HistoryItems(*window), expected);
    QCOMPARE(window->ED_Address->currentText(), text);
}

void TFrm_RelvaneTest::FocusLeavingTheServerFieldRunsTheExitHandler() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners, "alpha\n");
    QVERIFY(window);
    QVERIFY(ShowActiveWithoutPainting(*window));
    window->ED_Address->setFocus();
    QTRY_VERIFY(window->ED_Address->hasFocus());
    QTest::keyClicks(window->ED_Address, "beta");
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"alpha"});  // typing alone adds nothing
    QTest::keyClick(window->ED_Address, Qt::Key_Return);
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"alpha"});  // nor does Enter

    QTest::keyClick(window->ED_Address, Qt::Key_Tab);
    QTRY_VERIFY(window->ED_RemotePort->hasFocus());
    QCOMPARE(ComboItems(*window->ED_Address), (QStringList{"beta", "alpha"}));
}

void TFrm_RelvaneTest::AddingToAnEmptyListKeepsTheTypedText() {
    // An endpoint adds the text it read a moment ago while the user types on.
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    window->ED_Address->setEditText("typed meanwhile");
    window->AddComboBox("read before");
    QCOMPARE(ComboItems(*window->ED_Address), QStringList{"read before"});
    QCOMPARE(window->ED_Address->currentText(), "typed meanwhile");
}

// --- Port field and counters ----------------------------------------------------

void TFrm_RelvaneTest::PortFieldIsReadWithItsBlanks_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("value");

    QTest::newRow("digits") << "27500" << "27500" << 27500;
    QTest::newRow("a blank between digits is unreadable") << "1 2" << "1 2  " << 26000;
    QTest::newRow("only blanks") << "" << "     " << 26000;
    QTest::newRow("leading blanks") << "  27" << "  27 " << 27;
    QTest::newRow("above 65535 keeps its low 16 bits") << "99999" << "99999" << 34463;
    QTest::newRow("letters cannot be typed") << "2a7x" << "27   " << 27;
}

void TFrm_RelvaneTest::PortFieldIsReadWithItsBlanks() {
    QFETCH(QString, typed);
    QFETCH(QString, portText);
    QFETCH(int, value);

    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    window->ED_RemotePort->clear();
    window->ED_RemotePort->setCursorPosition(0);
    QTest::keyClicks(window->ED_RemotePort, typed);
    QCOMPARE(window->PortText(), portText);
    QCOMPARE(int(relvane::PortFieldValue(window->Operations().ReadPortText())), value);
}

void TFrm_RelvaneTest::LogKeepsItsNewestLinesUpToTheLimit() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    const int before = window->Memo1->blockCount();
    const int total = TFrm_Relvane::LogLineLimit + 25;
    for (int i = 0; i < total; ++i) window->AppendLogLine(QStringLiteral("line %1").arg(i));
    const QStringList lines = LogLines(*window);
    QCOMPARE(lines.size(), TFrm_Relvane::LogLineLimit);
    QCOMPARE(lines.first(), QStringLiteral("line %1").arg(total - TFrm_Relvane::LogLineLimit));
    QCOMPARE(lines.last(), QStringLiteral("line %1").arg(total - 1));
    QVERIFY(before < TFrm_Relvane::LogLineLimit);
}

void TFrm_RelvaneTest::RefreshShowsTheCountersSigned() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListenersWithLog);
    QVERIFY(window);
    window->Counters().ServerPackets = -5;
    window->Counters().ClientPackets = INT32_MIN;
    window->Counters().Connections = -1;
    // Until a refresh the design texts stay.
    QCOMPARE(window->StatusPanels[0]->text(), "Packets from Server : 0");
    QCOMPARE(window->Lbl_Connections->text(), "0");

    window->Timer1Timer();
    QCOMPARE(window->StatusPanels[0]->text(), "Packets from Server : -5");
    QCOMPARE(window->StatusPanels[1]->text(), "Packets from Client : -2147483648");
    QCOMPARE(window->Lbl_Connections->text(), "-1");
}

void TFrm_RelvaneTest::TimerRefreshesEverySecond() {
    const std::unique_ptr<TFrm_Relvane> window = MakeWindow(NoListeners);
    QVERIFY(window);
    QCOMPARE(window->Timer1->interval(), 1000);
    window->Counters().ServerPackets = 42;
    window->Counters().ClientPackets = 7;
    window->Counters().Connections = 3;
    // The log panel is hidden: the counters go on all the same.
    QTRY_COMPARE_WITH_TIMEOUT(window->StatusPanels[0]->text(), "Packets from Server : 42", 5000);
    QCOMPARE(window->StatusPanels[1]->text(), "Packets from Client : 7");
    QCOMPARE(window->Lbl_Connections->text(), "3");
}

QTEST_MAIN(TFrm_RelvaneTest)
#include "TFrm_RelvaneTest.moc"
