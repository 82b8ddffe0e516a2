// The window operations as endpoint threads call them: carried out on the UI
// thread while the endpoint waits, modal error boxes, the headless console,
// and operations that return at once after the window has closed.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

#include "ShownWithoutPainting.h"
#include "WorkingDirectory.h"
#include "relay/Un_Proxy.h"

using relvane::HeadlessConsole;
using relvane::RelayWindowOptions;
using relvane::TFrm_Relvane;
using relvane::testing::TemporaryWorkingDirectory;
using namespace relvane::testing;
using namespace std::chrono_literals;

namespace {

const QByteArray NoListenersWithLog = "[Proxy]\nLocalPort=0\nTCPIP=0\nIPX=0\nDebug=1\n";

// A stream that the test reads back; closed when destroyed.
struct CapturedStream {
    CapturedStream() : File(std::tmpfile()) {}
    ~CapturedStream() {
        if (File) std::fclose(File);
    }
    QByteArray Contents() const {
        std::fflush(File);
        std::rewind(File);
        QByteArray bytes;
        char chunk[4096];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof chunk, File)) > 0) bytes.append(chunk, qsizetype(count));
        std::fseek(File, 0, SEEK_END);
        return bytes;
    }
    std::FILE* File;
};

QStringList LogLines(const TFrm_Relvane& window) { return window.Memo1->toPlainText().split(u'\n'); }

}  // namespace

class QtWindowOperationsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void OperationsFromAnEndpointThreadReachTheWindow();
    void NewLogLineIsScrolledIntoView();
    void ErrorBoxIsModalAndHoldsOnlyItsCaller();
    void HeadlessConsoleGetsLogLinesAndErrorBoxes();
    void OperationsReturnAtOnceAfterTheWindowClosed();

private:
    std::unique_ptr<TemporaryWorkingDirectory> Directory;
};

void QtWindowOperationsTest::init() {
    Directory = std::make_unique<TemporaryWorkingDirectory>();
    QVERIFY(Directory->IsValid());
    QVERIFY(Directory->WriteFile("relvane.ini", NoListenersWithLog));
}

void QtWindowOperationsTest::cleanup() { Directory.reset(); }

void QtWindowOperationsTest::OperationsFromAnEndpointThreadReachTheWindow() {
    TFrm_Relvane window;
    relvane::WindowOperations& operations = window.Operations();
    struct Seen {
        std::string Server;
        std::string Port;
        size_t HistoryAfterSet = 99;
    } seen;
    std::atomic<bool> done{false};

    std::thread endpoint([&] {
        operations.SetTargetFields(27001, "192.168.1.20");
        seen.Server = operations.ReadServerText();
        seen.Port = operations.ReadPortText();
        operations.ShowLog("line from an endpoint");
        operations.AddComboBox("192.168.1.20");
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
    endpoint.join();

    QCOMPARE(seen.Server, std::string("192.168.1.20"));
    QCOMPARE(seen.Port, std::string("27001"));
    QCOMPARE(window.ED_Address->currentText(), "192.168.1.20");
    QCOMPARE(LogLines(window).last(), "line from an endpoint");
    // Only AddComboBox changed the list, not the set of the target fields.
    QCOMPARE(window.ED_Address->count(), 1);
    QCOMPARE(window.ED_Address->itemText(0), "192.168.1.20");
}

void QtWindowOperationsTest::NewLogLineIsScrolledIntoView() {
    TFrm_Relvane window;
    QVERIFY(ShowWithoutPainting(window));
    QScrollBar* scroll = window.Memo1->verticalScrollBar();
    scroll->setValue(0);
    // Lines far wider than the log: each is shown from its start.
    const std::string wide(300, 'x');
    for (int i = 0; i < 200; ++i) window.Operations().ShowLog("line " + std::to_string(i) + " " + wide);
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum());
    QVERIFY(window.Memo1->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(window.Memo1->horizontalScrollBar()->value(), 0);
    QCOMPARE(LogLines(window).size(), 201);  // banner first
}

void QtWindowOperationsTest::ErrorBoxIsModalAndHoldsOnlyItsCaller() {
    TFrm_Relvane window;
    QVERIFY(ShowWithoutPainting(window));
    std::atomic<bool> boxCallerReturned{false};
    std::atomic<bool> otherCallerReturned{false};
    std::atomic<bool> boxOpen{false};
    QString title, text, buttonText;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool callerHeldWhileOpen = false;
    bool othersServedWhileOpen = false;

    // The box runs its own loop; the test looks at it from within that loop.
    QTimer inspector;
    QObject::connect(&inspector, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        boxOpen = true;
        if (!otherCallerReturned.load()) return;  // wait until the other endpoint was served
        inspector.stop();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = int(box->buttons().size());
        if (buttons == 1) buttonText = box->buttons().first()->text();
        callerHeldWhileOpen = !boxCallerReturned.load();
        othersServedWhileOpen = LogLines(window).last() == "served meanwhile";
        box->buttons().first()->click();
    });
    inspector.start(10);

    std::thread boxCaller([&] {
        window.Operations().ShowErrorBox("Error : Can't create socket WSAError : 24");
        boxCallerReturned = true;
    });
    std::thread otherCaller([&] {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!boxOpen.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
        window.Operations().ShowLog("served meanwhile");
        otherCallerReturned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(boxCallerReturned.load(), 10000);
    boxCaller.join();
    otherCaller.join();

    QCOMPARE(title, "Fehler");
    QCOMPARE(text, "Error : Can't create socket WSAError : 24");
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
    QCOMPARE(buttonText, "OK");
    QVERIFY(callerHeldWhileOpen);
    QVERIFY(othersServedWhileOpen);
}

void QtWindowOperationsTest::HeadlessConsoleGetsLogLinesAndErrorBoxes() {
    CapturedStream log;
    CapturedStream errors;
    QVERIFY(log.File && errors.File);
    RelayWindowOptions options;
    options.Headless = HeadlessConsole{log.File, errors.File};
    TFrm_Relvane window(options);

    // Nobody could dismiss a box: it returns at once, with the UI thread busy.
    std::future<void> box = std::async(std::launch::async, [&] {
        window.Operations().ShowErrorBox("Error : Can't create socket WSAError : 24");
    });
    QCOMPARE(box.wait_for(10s), std::future_status::ready);
    QCOMPARE(errors.Contents(), QByteArray("Error : Can't create socket WSAError : 24\n"));
    QVERIFY(!QApplication::activeModalWidget());

    std::atomic<bool> logged{false};
    std::thread endpoint([&] {
        window.Operations().ShowLog("Connection Request from 10.1.2.3 Port 26001");
        window.Operations().ShowLog("Unknown Message from Client 129 10.1.2.3 Port 26001 L\xc3\xa4nge 9");
        logged = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(logged.load(), 10000);
    endpoint.join();
    QCOMPARE(log.Contents(), QByteArray(TFrm_Relvane::Banner) +
                                 "\nConnection Request from 10.1.2.3 Port 26001"
                                 "\nUnknown Message from Client 129 10.1.2.3 Port 26001 L\xc3\xa4nge 9\n");
    QCOMPARE(LogLines(window).size(), 3);  // the window's log gets them too
}

void QtWindowOperationsTest::OperationsReturnAtOnceAfterTheWindowClosed() {
    TFrm_Relvane window;
    window.ED_Address->setEditText("quake.example.net");
    window.close();

    // Nothing serves the event loop here: a call that waited would hang.
    std::future<std::string> server = std::async(std::launch::async, [&] {
        window.Operations().ShowLog("too late");
        window.Operations().AddComboBox("too late");
        return window.Operations().ReadServerText();
    });
    QCOMPARE(server.wait_for(10s), std::future_status::ready);
    QCOMPARE(server.get(), std::string());
    QCoreApplication::processEvents();
    QCOMPARE(LogLines(window), QStringList{QString::fromLatin1(TFrm_Relvane::Banner)});
    QCOMPARE(window.ED_Address->count(), 0);
}

QTEST_MAIN(QtWindowOperationsTest)
#include "QtWindowOperationsTest.moc"
